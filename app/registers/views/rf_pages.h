#pragma once

#include <QStringList>
#include <array>

#include "app/registers/rf_radio_tool.h"
#include "app/registers/rf_register_tool.h"
#include "app/registers/views/register_controls.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kqa {
class LogList;
}

// What both RF pages share: the "RF Bank Sel" list (the bank lives in the
// context, so both pages show the same one), the grid of the page's 32
// registers with eight bit buttons each (bit 0 rightmost; a press toggles the
// bit in the chip), the single read/write box and "Read All", which runs on
// every activation. RfRegisterTool does the work.
class RfPageBase : public kqa::PropertyPage {
  Q_OBJECT

 public:
  const kqa::registers::RfRegisterTool& tool() const { return tool_; }
  // The grid field of register `reg` ("R<reg>") and the button of its bit
  // ("R<reg>.<bit>").
  QLineEdit* gridField(int reg) const;
  QPushButton* bitButton(int reg, int bit) const;

  void onBankChosen(int bank);
  void onReadAll();
  void onSingleReadWrite();
  void onBitPressed(int reg, int bit);

 protected:
  RfPageBase(kqa::shell::PageServices& services, kqa::registers::RfPage page, QWidget* parent);

  void onSetActive() override;

  QWidget* bankRow();
  QWidget* gridGroup();
  QWidget* singleGroup();
  void showGrid();
  void selectSharedBank();

  kqa::registers::RfRegisterTool tool_;
  QComboBox* bankList_ = nullptr;
  kqa::registers::RegisterBox box_;
  std::array<QLineEdit*, kqa::registers::kRfPageRegisters> grid_{};
  std::array<std::array<QPushButton*, 8>, kqa::registers::kRfPageRegisters> bits_{};
};

// "RF Page 1": R0-R31 of the bank, the channel with its synthesiser values
// (a choice becomes the shared channel index and the sheet applies it), the
// TX power and frequency-offset spins, the chip info line, RF register files
// and the RF script with its log.
class CRFPage : public RfPageBase {
  Q_OBJECT

 public:
  explicit CRFPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  const kqa::registers::RfRadioTool& radio() const { return radio_; }
  QStringList scriptLog() const;

  void onChannelChosen(int index);
  // A spin step of +1 (up) or -1 (down).
  void onTxPowerStep(int path, int step);
  void onFrequencyOffsetStep(int step);
  void onSaveRegisterFile();
  void onLoadRegisterFile();
  void onLoadScript();

 protected:
  void onInitDialog() override;
  void onSetActive() override;
  void onChannelChanged(const kqa::page::ChannelChanged& event) override;
  void onRadioSettingsChanged() override;

 private:
  QWidget* channelGroup();
  QWidget* powerGroup();
  QWidget* filesGroup();
  // A hexadecimal field with its up/down spin, as the TX power and
  // frequency-offset controls are.
  QLineEdit* spinField(const QString& name, int digits, const std::function<void(int)>& step,
                       QWidget* parent, QWidget*& spin);
  void showChannel();
  void showSettings();

  kqa::registers::RfRadioTool radio_;
  QComboBox* channelList_ = nullptr;
  QLabel* vco_ = nullptr;
  QLabel* n_ = nullptr;
  QLabel* k_ = nullptr;
  QLabel* d_ = nullptr;
  QLabel* ksd_ = nullptr;
  QLabel* chipInfo_ = nullptr;
  QLineEdit* txPower0_ = nullptr;
  QLineEdit* txPower1_ = nullptr;
  QWidget* txPower1Spin_ = nullptr;
  QLineEdit* frequencyOffset_ = nullptr;
  kqa::LogList* scriptLog_ = nullptr;
};

// "RF Page 2": R32-R63 of the bank.
class CRFPage2 : public RfPageBase {
  Q_OBJECT

 public:
  explicit CRFPage2(kqa::shell::PageServices& services, QWidget* parent = nullptr);

 protected:
  void onInitDialog() override { onSetActive(); }
};
