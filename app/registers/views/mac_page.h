#pragma once

#include <QStringList>

#include "app/registers/mac_register_tool.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class CHexEdit;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace kqa {
class LogList;
}

// "MAC": the chip's 32-bit register and memory space. A memory bank as a hex
// dump, single and access-mode register reads and writes, register dumps and
// files, and register scripts with their log. The widget only mirrors its
// controls; MacRegisterTool does the work.
class CMACPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CMACPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  const kqa::registers::MacRegisterTool& tool() const { return tool_; }
  CHexEdit& hexView() const { return *hexView_; }
  QStringList scriptLog() const;

  // The controls' handlers, public so that tests and the screenshot tool can
  // drive the page like a user.
  void onSingleReadWrite();
  void onAccessReadWrite();
  void onReadAll();
  void onBankChosen(int index);
  void onLoadFile();
  void onDumpReg();
  void onLoadScript();
  void onShowExample();

 protected:
  void onInitDialog() override;
  void onSetActive() override { onReadAll(); }

 private:
  QWidget* singleGroup();
  QWidget* accessGroup();
  QWidget* scriptGroup();
  QLayout* bankColumn();
  // Runs a bank read or file load, then shows the bank.
  void readingBank(const QString& what, const std::function<void()>& work);
  void readFieldsIntoTool();
  void showFieldsFromTool();

  kqa::registers::MacRegisterTool tool_;

  QRadioButton* singleWrite_;
  QLineEdit* singleOffset_;
  QLineEdit* singleValue_;
  QRadioButton* windowMac_;
  QRadioButton* windowSys_;
  QRadioButton* accessWrite_;
  QLineEdit* accessOffset_;
  QLineEdit* accessValue_;
  QComboBox* bankList_;
  CHexEdit* hexView_;
  kqa::LogList* scriptLog_;
};
