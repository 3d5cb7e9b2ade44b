#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <functional>
#include <map>

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"
#include "app/txrx/bench_tools.h"
#include "app/txrx/txrx_tester.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "TX/RX": transmit and receive tests with their statistics. The widget only
// mirrors its controls into TxRxTester and shows what it says; the page's
// window timers run while the tester says so and forward their ticks.
//
// What other pages ask of it arrives in its hooks: onStopActivities
// (transmit, receive with loopback, second receive), onChannelChanged (with
// tune: the channel change), onPathSelected, onBandwidthSelected,
// onToggleReceive and onRadioSettingsChanged. It tells ChannelChanged when
// its channel list changes and RadioSettingsChanged when the channel's TX
// powers and frequency offset have been shown.
class CTXRXPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CTXRXPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  const kqa::txrx::TxRxTester& tester() const { return tester_; }
  kqa::txrx::BenchTools& tools() { return tools_; }

  // How the page runs its two dialogs; tests and the screenshot tool drive
  // them instead of exec().
  using DialogRunner = std::function<int(QDialog&)>;
  void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

  // The controls' handlers and the timers' ticks, public so that tests and
  // the screenshot tool can drive the page like a user.
  void onChannelChosen(int index);
  void onBandwidthChosen(int index);
  void onModeChosen(int index);
  void onRateChosen(int index);
  void onFrameTypeChosen(int index);
  void onStartTx();
  void onStartRx();
  void onTimer(kqa::txrx::PageTimer timer);

 protected:
  void onInitDialog() override;
  void onSetActive() override;
  void onStopActivities() override;
  void onChannelChanged(const kqa::page::ChannelChanged& event) override;
  void onPathSelected(const kqa::page::PathSelected& event) override;
  void onBandwidthSelected(const kqa::page::BandwidthSelected& event) override;
  void onToggleReceive() override;
  void onRadioSettingsChanged() override;

 private:
  QWidget* radioGroup();
  QWidget* frameGroup();
  QWidget* stationGroup();
  QWidget* transmitGroup();
  QWidget* powerGroup();
  QWidget* receiveGroup();
  QWidget* toolsGroup();
  // txrx_page_fwcal.cpp: the firmware and calibration groups.
  QWidget* firmwareGroup();
  QWidget* calibrationGroup();
  void showFirmware();
  void readIq();
  void onCalibrateTrim(const QString& name);
  QCheckBox* checkBox(const QString& caption, const QString& name, std::function<void(bool)> handler);
  QLabel* display(const QString& name);
  QLineEdit* textField(const QString& name, int digits, bool hex = true);

  // Runs `action` with the controls mirrored in and the state shown after.
  void act(const std::function<void()>& action);
  void readControls();
  void showState();
  void syncTimers();
  void fillRateList();
  void runDescriptorDialog();
  void runEnvironmentDialog();

  kqa::shell::PageServices& services_;
  kqa::txrx::BenchTools tools_;  // before the tester, which runs it at its steps
  kqa::txrx::TxRxTester tester_;
  DialogRunner runDialog_;
  std::map<kqa::txrx::PageTimer, QTimer*> timers_;
  std::map<kqa::txrx::PageTimer, unsigned> timerStarts_;

  QComboBox* channelList_;
  QComboBox* bandwidthList_;
  QComboBox* txBandList_;
  QComboBox* modeList_;
  QComboBox* rateList_;
  QComboBox* frameTypeList_;
  QComboBox* rxPathList_;
  QCheckBox* stbc_;
  QCheckBox* sgi_;
  QCheckBox* sideBand_;
  QCheckBox* ampdu_;
  QCheckBox* waitAck_;
  QCheckBox* seqByHw_;
  QCheckBox* wiv_;
  QCheckBox* debugInfo_;
  QCheckBox* swCrc_;
  QCheckBox* inc_;
  QCheckBox* rdg_;
  QCheckBox* aggregate_;
  QCheckBox* autoResponder_;
  QCheckBox* contiTx_;
  QCheckBox* carrier_;
  QCheckBox* suppression_;
  QCheckBox* japanFilter_;
  QCheckBox* seqDbg_;
  QCheckBox* loopback_;
  QCheckBox* frameLoss_;
  QCheckBox* tssi_;
  QCheckBox* tempCom_;
  QCheckBox* onePath_;
  QRadioButton* dacBoth_;
  QRadioButton* dac0_;
  QRadioButton* dac1_;
  QRadioButton* antennaMain_;
  QRadioButton* antennaAux_;
  std::map<QString, QLineEdit*> fields_;
  QLabel* mpduDensityLabel_;
  QPushButton* startTx_;
  QPushButton* startRx_;
  QPushButton* startRx2_;
  QPushButton* setTxEnv_;
  std::array<QLabel*, kqa::txrx::kQueueSlots> queueCaptions_{};
  std::array<QLabel*, kqa::txrx::kQueueSlots> queues_{};
  std::array<QLabel*, kqa::txrx::kReceiveCounters> counters_{};
  std::array<QLabel*, 3> rssi_{};
  std::array<QLabel*, 2> snr_{};
  std::map<QString, QLabel*> displays_;
  QLabel* firmwareStatus_ = nullptr;
  QLabel* calibrationResult_ = nullptr;
  QCheckBox* iqEnable_ = nullptr;
  std::array<QLineEdit*, 4> iqFields_{};
};
