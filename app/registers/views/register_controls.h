#pragma once

#include <QString>
#include <vector>

#include "app/registers/register_fields.h"

class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kqa {
class LogList;
}

namespace kqa::registers {

// The single read/write box of the BBP and RF pages: "&READ" / "&WRITE",
// "Register ID" (decimal, 3 characters, object name "registerId") and
// "Value" (hexadecimal, 2 characters, "registerValue", read-only while READ
// is chosen), with the page's button beside them.
struct RegisterBox {
  QGroupBox* group = nullptr;
  QRadioButton* read = nullptr;
  QRadioButton* write = nullptr;
  QLineEdit* id = nullptr;
  QLineEdit* value = nullptr;

  RegisterFields fields() const;
  void showValue(const RegisterFields& fields) const;
  // After a refused R/W: the focus goes back to the field that was refused.
  void focusRefused(const RegisterFields& fields) const;
};
RegisterBox MakeRegisterBox(QWidget* parent, QPushButton* readWrite);

// A group box with `buttons` in a row above a script log (object name
// "scriptLog"), which `log` gets.
QGroupBox* ScriptLogGroup(QWidget* parent, const QString& title,
                          const std::vector<QPushButton*>& buttons, kqa::LogList*& log);

// A grid field: read-only, two hexadecimal digits in the fixed font, object
// name "R<reg>".
QLineEdit* MakeGridField(QWidget* parent, int reg);
// "%02X".
QString ByteText(unsigned value);

}  // namespace kqa::registers
