#pragma once

#include <array>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/device/pipelines.h"
#include "app/shell/page/outcome.h"
#include "app/txrx/bench_calibrations.h"
#include "app/txrx/radio_control.h"
#include "app/txrx/run_settings.h"
#include "app/txrx/rx_statistics.h"
#include "app/txrx/tx_frame.h"

namespace kqa::txrx {

// The three continuous tests: "Conti. Tx", "Carrier test", "Carrier Suppression".
enum class ContinuousTest { None, Modulated, Carrier, Suppression };

// The page's window timers (their ids) and periods.
enum class PageTimer : int {
  Statistics = 1,               // 1000 ms: receive statistics, TX progress, signal
  TemperatureCompensation = 3,  // 10 000 ms, while "Temp. Com." is checked
  TssiCompensation = 4,         // 1000 ms, while "TSSI" is checked
  ContinuousRestart = 5,        // 5000 ms: restarts a continuous run for the compensations
  SecondReceive = 6,            // 1000 ms: the second receive counter
};
inline constexpr std::array<PageTimer, 5> kPageTimers = {
    PageTimer::Statistics, PageTimer::TemperatureCompensation, PageTimer::TssiCompensation,
    PageTimer::ContinuousRestart, PageTimer::SecondReceive};
int TimerPeriodMs(PageTimer timer);

// What the page shows, as the logic formats it.
struct TxRxDisplays {
  std::string chipInfo;                         // "VQ%X :: %d T %d R"
  std::string extLna;                           // "ExtLNA = %d"
  std::string transmitted = "0";                // "Transmitted :"
  std::array<std::string, kQueueSlots> queues;  // AC0-AC3, MGMT, HCCA, AC4-AC7 in slot order
  bool queueCountsShown = false;                // after "Set TxD" was accepted
  std::array<std::string, kReceiveCounters> counters;
  std::string fer = "0%";
  std::string frameLoss = "0";
  std::array<std::string, 3> rssi;  // "%d dBm" per receive path
  std::array<std::string, 2> snr;
  std::string deviation;            // "Freq. Deviation :"
  std::string secondReceive;        // "Rx :"
  std::string tx0Power;             // the "TX Power0 (Hex)" field
  std::string tx1Power;
  std::string frequencyOffset;      // "Freq. Offset (Hex)"
};

// The numbers behind the last statistics refresh, for the command line.
struct SignalSnapshot {
  bool fresh = false;  // the last refresh read the statistics
  StatisticsRefresh statistics;
  std::optional<double> fer;        // as the page shows them: kept through quiet seconds
  std::optional<double> frameLoss;
  std::array<int, 3> rssiDbm{};
  int rxPaths = 1;
  std::array<double, 2> snrDb{};
  double deviationKhz = 0;
  double deviationPpm = 0;
};

// Everything the TX/RX page does, without the widgets: its activation, the
// channel, bandwidth, mode and rate, the frame and descriptor of a run and
// its hand-over to the driver, the transmit states (packet run, priming,
// the continuous tests, completion), reception and loopback, the
// once-a-second statistics and signal readouts, counter reset, station
// address, DACs, antennas and the page's timers.
//
// The widget mirrors its controls into the public fields before a call and
// shows displays() afterwards; it starts and stops a window timer for each
// timer the logic says runs (timerStarts() changes when one is restarted)
// and forwards their ticks to tick(). Actions return a page::Outcome.
class TxRxTester {
 public:
  using Outcome = page::Outcome;

  // `calibrations` (owned by the caller, outliving the tester) runs the
  // firmware download and the calibrations; none: the defaults.
  // The configuration memory is read through `memory`; the channel tables
  // and the shared channel index are `channels`.
  TxRxTester(device::ConfigMemory memory, device::ChannelState& channels,
             BenchCalibrations* calibrations = nullptr);

  // The run's settings: the page's frame fields and choices, and what the
  // two dialogs edit (run.descriptor, run.environment).
  RunSettings run;
  std::string macAddress;  // "MAC Address", 12 hex digits
  bool autoResponder = false;
  bool frameLoss = false;  // "Frame Loss :"
  bool japanFilter = false;
  bool sequenceDebug = false;  // "Seq_dbg"
  bool temperatureCompensation = false;  // "Temp. Com."
  bool onePath = false;  // "One RX Path"
  std::array<std::string, 3> rssiOffsets{"00", "00", "00"};  // the "Offset" fields, hex

  RadioControl& radio() { return radio_; }
  const RadioControl& radio() const { return radio_; }
  const TxRxDisplays& displays() const { return shown_; }
  const SignalSnapshot& lastSignal() const { return signal_; }
  const TxBuild& lastBuild() const { return build_; }

  bool txRunning() const { return txRunning_; }
  bool rxRunning() const { return rxRunning_; }
  bool secondRxRunning() const { return rx2Running_; }
  bool loopback() const { return loopback_; }
  bool contiPriming() const { return contiPriming_; }
  bool activated() const { return radio_.activated; }
  ContinuousTest continuousTest() const { return test_; }
  std::uint64_t transmittedTotal() const { return transmittedTotal_; }

  // "Start &TX" / "Stop &TX", "Start &RX" / "Stop &RX", "Start RX2" / "Stop RX2".
  const char* txCaption() const;
  const char* rxCaption() const;
  const char* secondRxCaption() const;
  // Which controls are offered now.
  bool frameLossEnabled() const;
  bool startRxEnabled() const;
  bool testEnabled(ContinuousTest test) const;
  bool japanFilterEnabled() const;
  bool txBandEnabled() const;
  bool tx1PowerEnabled() const;

  bool timerRunning(PageTimer timer) const;
  // Changes each time the timer is (re)started, so the widget restarts it.
  unsigned timerStarts(PageTimer timer) const;

  // The page's first display: registers, configuration, tables, channel,
  // mode, bandwidth, firmware set-up.
  Outcome activate();
  // The sheet leaves the page or comes back: the shared TX power and
  // frequency-offset values shown again.
  void showSharedSettings();

  Outcome selectChannel(int index);
  Outcome selectBandwidth(int index);  // 0: 20 MHz, 1: 40 MHz
  Outcome selectMode(int mode);
  Outcome selectRate(int rateIndex);
  Outcome selectTxBand(bool upper);    // "TxBandSel"
  Outcome selectRxPaths(bool onePathChecked, int entry);
  // "Frame Type": the preset; Address2 becomes the station address for
  // frames of 16 bytes or more.
  Outcome selectFrameType(int frameType);
  // What selectFrameType does to a settings value, for settings read from a
  // file (run_settings_json.h).
  std::function<void(RunSettings&, int)> presetApplier();

  // "Start &TX" / "Stop &TX". Refused (nothing sent) when a field of the
  // run is bad.
  Outcome toggleTx();
  // The stop path of "Stop &TX", whatever the page believes runs.
  Outcome stopTransmission() { return stopTx(); }
  // A continuous-test box checked or cleared.
  Outcome setContinuousTest(ContinuousTest test, bool checked);
  // "Start &RX" / "Stop &RX"; a stop is ignored while "Loopback" holds it.
  Outcome toggleRx();
  Outcome setLoopback(bool on);
  Outcome toggleSecondRx();
  Outcome resetCounters();

  Outcome setAutoResponder(bool on);
  Outcome setStationAddress();  // "Set"
  Outcome chooseDac(DacChoice choice);
  Outcome chooseAntenna(Antenna choice);
  Outcome setSideBandOption(bool on);
  Outcome setStbc(bool on);
  Outcome setTssi(bool on);
  // An "Offset" field changed: kept in the context for the noise scan.
  Outcome setRssiOffset(int path, const std::string& text);

  // The descriptor dialog: a WMM radio chosen, and OK.
  Outcome chooseWmmSelection(int selection);
  Outcome acceptDescriptorDialog(const DescriptorSettings& settings);
  void acceptEnvironmentDialog(const EnvironmentSettings& settings) { run.environment = settings; }

  // The build of "Start &TX" without the hand-over: the descriptor, frame
  // and record, and the build's register writes. Refused when a field is
  // bad (its message shown).
  Outcome buildRecord();

  Outcome tick(PageTimer timer);
  // Stops a running transmission, reception (loopback included) and the
  // second reception, in that order.
  void stopActivities();

  // For a process that did not start what runs on the chip (a later command
  // line through the daemon): reads the radio's state, the configuration,
  // whether reception, loopback, a packet run or a continuous test runs, and
  // the station address.
  void adoptChipState();
  // For a later process: adopts what runs on the chip, or sets the chip up
  // as the page's first display does when the bench never did since the
  // chip powered on (its register 0x102C lacks what activation writes).
  Outcome adoptOrActivate();

 private:
  Outcome startTx();
  Outcome stopTx();
  Outcome startRx();
  Outcome stopRx();
  Outcome handOver(std::uint32_t count);
  void applyContinuousTestRegisters();
  void undoContinuousTest(ContinuousTest test, bool unchecking);
  void restartContiAfterRateChange();
  void refreshStatistics();
  bool showProgress();
  void showSignal();
  void showChannel(const ChannelReadout& readout);
  void startTimer(PageTimer timer);
  void killTimer(PageTimer timer);
  Outcome refuse(const std::string& problem);
  void readStationAddress();
  std::string stationAddressText();
  void syncModeFromContext();

  device::DeviceContext& device_;
  BenchCalibrations defaultCalibrations_;
  BenchCalibrations& calibrations_;
  bool rxRunning_ = false;
  RadioControl radio_;
  bool txRunning_ = false;
  bool beaconHeld_ = false;  // a beacon "run": running, nothing sent
  bool rx2Running_ = false;
  bool loopback_ = false;
  bool contiPriming_ = false;
  ContinuousTest test_ = ContinuousTest::None;
  std::uint32_t savedTxPins_ = 0x0F0A;
  std::uint64_t transmittedTotal_ = 0;
  TxBuild build_;
  std::vector<std::uint8_t> workBuffer_;
  StatisticsTracker tracker_;
  device::RxStatisticsWords statistics_{};
  bool statisticsFresh_ = false;
  SignalSnapshot signal_;
  TxRxDisplays shown_;
  std::array<bool, 7> timerRunning_{};
  std::array<unsigned, 7> timerStarts_{};
};

}  // namespace kqa::txrx
