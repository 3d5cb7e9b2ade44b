#pragma once

#include <array>

#include "app/nvm/eeprom_tool.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class CHexEdit;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// "EEPROM": the configuration memory (external EEPROM, eFuse or the
// eeprom.bin image) as a hex view of its first 512 bytes, byte and block
// reads and writes, ".bin" images, the MAC address, the LED words and the
// mode switches. The widget only mirrors its controls; EepromTool does the
// work, and every eFuse write it makes is planned, forecast and asked about.
class CEEPROMPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CEEPROMPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  const kqa::nvm::EepromTool& tool() const { return tool_; }
  CHexEdit& hexView() const { return *hexView_; }

  // The controls' handlers, public so that tests and the screenshot tool can
  // drive the page like a user.
  void onReadWrite();
  void onReadAll();
  void onLoadFile();
  void onSaveAs();
  void onSetMac();
  void onLedActiveChosen(int index);
  void onSetLeds();
  void onEfuseMode(bool on);
  void onBufferMode(bool on);
  void onWriteWarning(bool disabled);
  void onView(kqa::nvm::EfuseView view);
  void onCheck();

 protected:
  void onInitDialog() override;
  void onSetActive() override;

 private:
  QWidget* readWriteGroup();
  QWidget* macGroup();
  QWidget* ledGroup();
  QWidget* efuseGroup();
  QLayout* hexColumn();
  // Runs work that reads or writes the memory, then shows what it holds.
  void working(const QString& what, const std::function<void()>& work);
  void readFieldsIntoTool();
  void showFieldsFromTool();
  void showModes();
  void applyReadWriteMode();

  kqa::nvm::EepromTool tool_;

  QLabel* nvmType_;
  CHexEdit* hexView_;
  QCheckBox* rawMode_;
  QCheckBox* keepTxPower_;
  QRadioButton* write_;
  QCheckBox* valueMode_;
  QLineEdit* offset_;
  QLineEdit* length_;
  QLineEdit* value_;
  QLineEdit* mac_;
  QComboBox* ledActive_;
  std::array<QComboBox*, kqa::nvm::kLedComboCount> leds_{};
  QGroupBox* efuseGroup_;
  QCheckBox* efuseMode_;
  QRadioButton* logicalView_;
  QRadioButton* physicalView_;
  QCheckBox* bufferMode_;
  QCheckBox* writeWarning_;
  QLabel* freeBlocksLabel_;
  QLabel* freeBlocks_;
};
