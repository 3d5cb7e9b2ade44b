#pragma once

#include <QStringList>

#include "app/registers/mac_register_tool.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class CHexEdit;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

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

  // The buttons' handlers, public so that tests can drive the page like a
  // user without hunting for widgets.
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
  void onSetActive() override;

 private:
  void buildLayout();
  // Runs a long operation with a busy cursor and a progress bar; refuses to
  // start a second one while one runs.
  template <class Work>
  void runBusy(const QString& what, Work&& work);
  void showProgress(std::size_t done, std::size_t total);
  void showBank();
  void readFieldsIntoTool();
  void showFieldsFromTool();
  void appendLogEntry(const QString& entry);

  kqa::registers::MacRegisterTool tool_;
  bool busy_ = false;

  QRadioButton* singleRead_;
  QRadioButton* singleWrite_;
  QLineEdit* singleOffset_;
  QLineEdit* singleValue_;
  QPushButton* singleButton_;
  CHexEdit* hexView_;
  QPushButton* readAllButton_;
  QPushButton* loadFileButton_;
  QComboBox* bankList_;
  QListWidget* scriptLog_;
  QPushButton* loadScriptButton_;
  QPushButton* exampleButton_;
  QRadioButton* windowMac_;
  QRadioButton* windowSys_;
  QRadioButton* windowAbsolute_;
  QRadioButton* accessRead_;
  QRadioButton* accessWrite_;
  QLineEdit* accessOffset_;
  QLineEdit* accessValue_;
  QPushButton* accessButton_;
  QPushButton* dumpButton_;
  QPushButton* resetNicButton_;
  QProgressBar* progress_;
};
