#pragma once

#include <QLineEdit>

namespace kqa {

// A line edit for a hexadecimal number of up to `digits` digits, in the fixed
// font and as wide as its digits. Typing and pasting are held to hex digits,
// with "0x" and blanks allowed around them; anything else does not go in. The
// logic still checks the text (ParseHexField), since a program may set any.
class HexLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit HexLineEdit(const QString& objectName, QWidget* parent, int digits = 8);
};

}  // namespace kqa
