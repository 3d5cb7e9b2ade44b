#pragma once

#include "app/nvm/nor_flash_tool.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QLineEdit;
class QProgressBar;
class QRadioButton;

// "NOR-Flash": the external NOR flash in 64 KB blocks and 4 KB units: erase,
// program from a ".bin" image, save to one, each with its progress bar. The
// widget only mirrors its controls; NorFlashTool does the work.
class CFLASHIIPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CFLASHIIPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  const kqa::nvm::NorFlashTool& tool() const { return tool_; }
  QProgressBar* bar(const QString& name) const;

  // The controls' handlers, public so that tests and the screenshot tool can
  // drive the page like a user; the last five belong to hidden controls.
  void onEraseBlock();
  void onEraseAll();
  void onLoadFromFile();
  void onSaveToFile();
  void onEraseAtAddress();
  void onEraseChip();
  void onWidth(kqa::nvm::FlashWidth width);
  void onSend();
  void onSoftDisconnect();

 protected:
  void onInitDialog() override;

 private:
  // Runs long work with `bar` following it; the three bars start at 0.
  void withBar(QProgressBar* bar, kqa::page::Progress& progress, const QString& what,
               const std::function<void()>& work);
  QProgressBar* makeBar(const QString& name);
  QWidget* hiddenControls();
  void readFieldsIntoTool();

  kqa::nvm::NorFlashTool tool_;

  QLineEdit* block_;
  QLineEdit* count_;
  QLineEdit* size_;
  QLineEdit* address_;
  QProgressBar* eraseBar_;
  QProgressBar* loadBar_;
  QProgressBar* saveBar_;
  QRadioButton* external_;
  QRadioButton* width8_;
  QRadioButton* width16_;
};
