#include "app/txrx/txrx_tester.h"

#include <algorithm>

#include "app/device/chip_numbers.h"
#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/text_format.h"
#include "app/registers/hex_field.h"
#include "app/txrx/field_reader.h"
#include "app/txrx/frame_presets.h"
#include "app/txrx/rate_lists.h"
#include "app/txrx/start_tables.h"
#include "app/txrx/tx_registers.h"
#include "platform/bytes/little_endian.h"

namespace kqa::txrx {
namespace {

constexpr std::uint32_t kMacControl = 0x1004;
constexpr std::uint32_t kTxEnable = 0x4;
// A register activation writes and nothing else does: a chip set up by the bench.
constexpr std::uint32_t kActivationMark = 0x102C;
constexpr std::uint32_t kActivationMarkValue = 0x7F031E46;
constexpr std::uint32_t kRxEnable = 0x8;
constexpr std::uint32_t kContinuousEnable = 0x10;
constexpr std::uint32_t kLoopbackEnable = 0x20;
constexpr std::uint32_t kLoopbackPaths = 0x481C;
constexpr std::uint32_t kTxPins = 0x1328;
constexpr std::uint32_t kPrimingPackets = 5;

constexpr const char* kCounterResetFailed = "ANTENNA_SELECTED DeviceIoControl failed!  Error = %d";
constexpr const char* kHandOverFailed = "TX record DeviceIoControl failed!  Error = %d";

std::size_t TimerSlot(PageTimer timer) { return static_cast<std::size_t>(timer); }

}  // namespace

int TimerPeriodMs(PageTimer timer) {
  switch (timer) {
    case PageTimer::TemperatureCompensation: return 10'000;
    case PageTimer::ContinuousRestart: return 5000;
    default: return 1000;
  }
}

TxRxTester::TxRxTester(device::ConfigMemory memory, device::ChannelState& channels, BenchCalibrations* calibrations)
    : device_(memory.device),
      calibrations_(calibrations != nullptr ? *calibrations : defaultCalibrations_),
      radio_(memory, channels, rxRunning_, calibrations_),
      workBuffer_(kWorkBufferSize, 0) {
  run.mode = device_.settings.phyMode;
  run.rate = device_.settings.rateIndex;
  shown_.queues.fill("0");
  shown_.counters.fill("0 / 0");
}

// --- Captions, enabling, timers ------------------------------------------------

const char* TxRxTester::txCaption() const {
  return txRunning_ && !beaconHeld_ ? "Stop &TX" : "Start &TX";
}
const char* TxRxTester::rxCaption() const { return rxRunning_ ? "Stop &RX" : "Start &RX"; }
const char* TxRxTester::secondRxCaption() const { return rx2Running_ ? "Stop RX2" : "Start RX2"; }

bool TxRxTester::frameLossEnabled() const { return !txRunning_ && !rxRunning_; }

bool TxRxTester::startRxEnabled() const {
  // A packet run holds reception off until it completes or stops.
  return rxRunning_ || !txRunning_ || test_ != ContinuousTest::None;
}

bool TxRxTester::testEnabled(ContinuousTest test) const {
  if (txRunning_ && test_ == ContinuousTest::None && !beaconHeld_) return false;
  if (test_ != ContinuousTest::None) return test_ == test;
  return test != ContinuousTest::Suppression || !japanFilter;
}

bool TxRxTester::japanFilterEnabled() const {
  return test_ == ContinuousTest::None && !(txRunning_ && !beaconHeld_);
}

bool TxRxTester::txBandEnabled() const { return radio_.wide && !IsHtMode(run.mode); }

bool TxRxTester::tx1PowerEnabled() const { return radio_.txPaths() >= 2; }

bool TxRxTester::timerRunning(PageTimer timer) const { return timerRunning_[TimerSlot(timer)]; }

unsigned TxRxTester::timerStarts(PageTimer timer) const { return timerStarts_[TimerSlot(timer)]; }

void TxRxTester::startTimer(PageTimer timer) {
  timerRunning_[TimerSlot(timer)] = true;
  ++timerStarts_[TimerSlot(timer)];
}

void TxRxTester::killTimer(PageTimer timer) { timerRunning_[TimerSlot(timer)] = false; }

TxRxTester::Outcome TxRxTester::refuse(const std::string& problem) {
  device_.prompt.showMessage(problem);
  return Outcome::Refused;
}

// --- Activation -----------------------------------------------------------------

std::string TxRxTester::stationAddressText() {
  ChipRegisters& r = radio_.registers();
  const std::uint32_t low = r.mac(0x1008);
  const std::uint32_t high = r.mac(0x100C);
  return device::Format("%02X%02X%02X%02X%02X%02X", low & 0xFF, (low >> 8) & 0xFF, (low >> 16) & 0xFF,
                        low >> 24, high & 0xFF, (high >> 8) & 0xFF);
}

void TxRxTester::readStationAddress() {
  macAddress = stationAddressText();
}

void TxRxTester::syncModeFromContext() {
  run.mode = device_.settings.phyMode;
  run.rate = device_.settings.rateIndex;
  run.bw40 = radio_.wide;
}

void TxRxTester::showChannel(const ChannelReadout& readout) {
  shown_.extLna = readout.extLna;
  shown_.tx0Power = readout.tx0Power;
  if (!readout.tx1Power.empty()) shown_.tx1Power = readout.tx1Power;
  shown_.frequencyOffset = readout.frequencyOffset;
  rssiOffsets[0] = readout.rssiOffset0;
  rssiOffsets[1] = readout.rssiOffset1;
}

TxRxTester::Outcome TxRxTester::activate() {
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  ChipRegisters& r = radio_.registers();
  r.setMac(0x0080, 0xFF000003);
  r.setMac(0x1204, 0);
  r.setMac(kMacControl, 3);
  r.setMac(kMacControl, 0);
  r.setMac(0x0400, 0x00080C00);
  r.setMac(0x0400, 0x00080C00);
  r.setMac(0x0250, 0x58);
  r.setMac(0x0400, 0x00080C00);
  r.setMac(0x0800, 1);
  r.updateMac(0x0404, ~0u, 0xF);
  r.setMac(0x13A0, 0x003B0005);
  r.setMac(0x13A8, 0x6900);
  r.setMac(0x13C0, 0x400);
  r.setMac(0x13C8, 0x00060006);

  // The configuration words the other pages and BBP R66 writes rely on.
  r.updateMac(0x0400, ~0u, 0xE00);
  r.setMac(kMacControl, 0);
  radio_.loadConfiguration();

  std::array<std::uint8_t, 6> address{};
  if (device::ReadEepromBlock(radio_.configMemory(), 0x04, address) == device::NvmResult::Ok) {
    macAddress = device::Format("%02X%02X%02X%02X%02X%02X", address[0], address[1], address[2],
                                address[3], address[4], address[5]);
    setStationAddress();
  }
  r.setMac(kActivationMark, kActivationMarkValue);

  r.updateMac(0x0400, ~0x2000u, 0xE00);
  r.setMac(0x1400, 3);
  r.updateMac(0x0238, ~0u, 0x00E01010);
  r.updateMac(kMacControl, ~0xCu, 0);
  r.setMac(0x1330, 0x402);
  r.setMac(0x1334, 0);
  r.setMac(0x1338, 0);

  shown_.chipInfo = device::Format("VQ%X :: %d T %d R", device_.asicVersion >> 16, radio_.txPaths(),
                                   radio_.rxPaths());

  std::uint32_t mcu = 0;
  if (r.sys(0x0230, mcu) && (mcu & 1) != 0)
    device_.settings.firmwareReady = true;
  else
    device_.settings.firmwareReady = calibrations_.loadFirmware();

  const bool kestrel = (device_.asicVersion >> 16) == (device::kKestrelAsicVersion >> 16);
  r.pulseBbpR21();
  for (const BbpValue& entry : BbpDirectTable()) r.setBbp(entry.id, entry.value);
  r.updateBbp(3, 0x3F, 0);
  r.updateBbp(22, 0x7F, 0);
  const auto lna = static_cast<std::uint8_t>(0x37 - radio_.lnaGain24);
  for (std::uint8_t id : {62, 63, 64}) r.setBbp(id, lna);
  r.setBbp(142, 4);
  r.setBbp(143, 0x37);
  if (kestrel) r.updateBbp(1, 0xFF, 0x04);
  for (const BbpIndirectValue& entry : BbpIndirectTable()) r.setBbpIndirect(entry.index, entry.value);
  for (const BbpValue& entry : BbpFinishingDirect()) r.setBbp(entry.id, entry.value);
  for (const BbpIndirectValue& entry : BbpFinishingIndirect()) r.setBbpIndirect(entry.index, entry.value);
  if (kestrel)
    for (const RfValue& entry : RfStartTable()) r.setRf(entry.bank, entry.reg, entry.value);
  radio_.vcoCalibration();

  showChannel(radio_.selectChannel(radio_.channels().channelIndex));
  device_.settings.rateIndex = 3;
  radio_.wide = false;
  readStationAddress();

  setAutoResponder(autoResponder);
  resetCounters();
  radio_.selectBandwidth(false);
  radio_.selectBandwidth(false);

  std::fill(workBuffer_.begin(), workBuffer_.end(), 0);
  radio_.selectMode(device_.settings.phyMode);
  showChannel(radio_.selectChannel(radio_.channels().channelIndex));
  syncModeFromContext();

  radio_.sendFunction(1, 0);
  radio_.vcoCalibration();
  radio_.sendFunction(9, 0);
  calibrations_.dcocCalibration();
  if (device_.settings.firmwareReady) {
    radio_.pulseFunction6(0);
    for (std::uint32_t function : {4u, 5u, 8u, 7u}) radio_.sendFunction(function, 0);
  }
  calibrations_.dcocCalibration();
  radio_.pulseFunction6(0x10000);

  resetCounters();
  if ((device_.eepromWord36 & (1u << 13)) != 0) calibrations_.tssiMeasurement();
  radio_.activated = true;
  return Outcome::Done;
}

void TxRxTester::showSharedSettings() {
  shown_.tx0Power = device::Format("%02X", device_.settings.txPower0);
  if (radio_.txPaths() >= 2) shown_.tx1Power = device::Format("%02X", device_.settings.txPower1);
  shown_.frequencyOffset = device::Format("%02X", device_.settings.frequencyOffset);
}

// --- Radio choices ----------------------------------------------------------------

TxRxTester::Outcome TxRxTester::selectChannel(int index) {
  if (index < 0 || index >= radio_.channels().channelCount)
    return refuse(device::Format("Channel index %d is not in the channel list (0 to %d).", index,
                                 radio_.channels().channelCount - 1));
  showChannel(radio_.selectChannel(index));
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::selectBandwidth(int index) {
  if (index != 0 && index != 1) return refuse(device::Format("Bandwidth index %d is not 0 (20) or 1 (40).", index));
  radio_.selectBandwidth(index == 1);
  run.bw40 = radio_.wide;
  return Outcome::Done;
}

void TxRxTester::restartContiAfterRateChange() {
  device_.clock.sleepMs(50);
  if (test_ != ContinuousTest::Modulated) return;
  setContinuousTest(ContinuousTest::Modulated, false);
  setContinuousTest(ContinuousTest::Modulated, true);
}

TxRxTester::Outcome TxRxTester::selectMode(int mode) {
  if (mode < 0 || mode >= kModeCount) return refuse(device::Format("Mode %d is not 0 to 3.", mode));
  radio_.selectMode(mode);
  syncModeFromContext();
  if (!StbcEnabled(run)) run.stbc = false;
  if (!SgiEnabled(run)) run.sgi = false;
  restartContiAfterRateChange();
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::selectRate(int rateIndex) {
  if (!IsValidRate(device_.settings.phyMode, rateIndex))
    return refuse(device::Format("Rate %d is not in the rate list of mode %d.", rateIndex,
                                 device_.settings.phyMode));
  radio_.selectRate(rateIndex);
  syncModeFromContext();
  if (!StbcEnabled(run)) run.stbc = false;
  restartContiAfterRateChange();
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::selectTxBand(bool upper) {
  radio_.selectTxBand(upper);
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::selectRxPaths(bool onePathChecked, int entry) {
  onePath = onePathChecked;
  radio_.selectRxPaths(onePathChecked, entry);
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::selectFrameType(int frameType) {
  if (frameType < 0 || frameType >= kFrameTypeCount)
    return refuse(device::Format("Frame type %d is not 0 to %d.", frameType, kFrameTypeCount - 1));
  presetApplier()(run, frameType);
  return Outcome::Done;
}

std::function<void(RunSettings&, int)> TxRxTester::presetApplier() {
  return [this](RunSettings& settings, int frameType) {
    ApplyFramePreset(settings, frameType);
    const int total = FramePresets()[static_cast<std::size_t>(frameType)].totalBytes;
    if (total >= 16 && device_.hDevice.isOpen()) settings.address2 = stationAddressText();
  };
}

// --- Transmit -------------------------------------------------------------------

TxRxTester::Outcome TxRxTester::buildRecord() {
  run.mode = device_.settings.phyMode;
  run.rate = device_.settings.rateIndex;
  const std::uint32_t descriptorSize = device::TxwiSizeFor(device_.asicVersion);
  TxBuildResult result = BuildTxRun(run, descriptorSize);
  if (!result.ok()) return refuse(result.problem);
  build_ = std::move(result.build);
  if (build_.frameType == kBeaconFrameType) return Outcome::Done;
  std::string problem;
  if (!WriteRunRegisters(device_, build_.registers, problem)) {
    if (!problem.empty()) return refuse(problem);
    return Outcome::Failed;
  }
  std::fill(workBuffer_.begin(), workBuffer_.end(), 0);
  std::copy(build_.record.begin(), build_.record.end(), workBuffer_.begin());
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::handOver(std::uint32_t count) {
  std::vector<std::uint8_t> record = build_.record;
  for (std::uint32_t slot = 0; slot < kQueueSlots; ++slot) {
    PutLe32(record, 0, slot);
    const device::CallResult loaded = device::LoadTxRecord(device_, record);
    if (!loaded) {
      device_.prompt.showMessage(device::Format(kHandOverFailed, static_cast<int>(loaded.error)));
      return Outcome::Failed;
    }
  }
  device::TxStartBlock block;
  block.count = count;
  block.queueFlags = QueueSelectionFlags(run);
  block.frameType = static_cast<std::uint32_t>(build_.frameType);
  block.nextValid = run.descriptor.nextValid != 0 ? 1 : 0;
  block.sequenceDebug = sequenceDebug ? 1 : 0;
  const device::CallResult started = device::StartTxRun(device_, block);
  if (!started) {
    device_.prompt.showMessage(device::Format(kHandOverFailed, static_cast<int>(started.error)));
    return Outcome::Failed;
  }
  return Outcome::Done;
}

void TxRxTester::applyContinuousTestRegisters() {
  ChipRegisters& r = radio_.registers();
  const bool five = radio_.fiveGhz();
  std::uint32_t pins = 0;
  switch (radio_.dac) {
    case DacChoice::Both: pins = five ? 0xC0050 : 0xC00A0; break;
    case DacChoice::Dac0: pins = five ? 0xC0010 : 0xC0020; break;
    case DacChoice::Dac1: pins = five ? 0xC0040 : 0xC0080; break;
  }
  r.setMac(kTxPins, pins);
  switch (test_) {
    case ContinuousTest::Modulated: r.updateBbp(22, 0xFF, 0x80); break;
    case ContinuousTest::Carrier: r.updateBbp(22, 0xC1, 0x41); break;
    case ContinuousTest::Suppression:
      r.updateMac(kMacControl, ~0u, kContinuousEnable);
      r.updateBbp(22, 0xFF, 0x80);
      r.updateBbp(21, 0xFF, 0x10);
      break;
    case ContinuousTest::None: break;
  }
}

TxRxTester::Outcome TxRxTester::startTx() {
  const Outcome built = buildRecord();
  if (built != Outcome::Done) return built;
  txRunning_ = true;
  if (build_.frameType == kBeaconFrameType) {
    beaconHeld_ = true;  // nothing is sent; the next press stops
    return Outcome::Done;
  }
  ChipRegisters& r = radio_.registers();
  if (build_.frameType == kQosDataFrameType && run.descriptor.slotEnabled[kHccaSlot])
    r.updateMac(0x0404, ~0u, 0x8);
  r.updateMac(kMacControl, ~0u, kTxEnable);

  Outcome outcome = Outcome::Done;
  if (contiPriming_) {
    txRunning_ = false;
    outcome = handOver(kPrimingPackets);
    device_.clock.sleepMs(50);
    contiPriming_ = false;
    r.updateMac(kMacControl, ~kTxEnable, 0);
  } else if (test_ == ContinuousTest::None) {
    outcome = handOver(build_.repeat);
    device_.clock.sleepMs(200);
    if (outcome != Outcome::Done) {
      txRunning_ = false;
      r.updateMac(kMacControl, ~kTxEnable, 0);
      return outcome;
    }
  } else {
    applyContinuousTestRegisters();
    return Outcome::Done;
  }
  if (radio_.tssi) calibrations_.tssiCompensation();
  startTimer(PageTimer::TssiCompensation);
  startTimer(PageTimer::ContinuousRestart);
  if (!rxRunning_) startTimer(PageTimer::Statistics);
  return outcome;
}

void TxRxTester::undoContinuousTest(ContinuousTest test, bool unchecking) {
  ChipRegisters& r = radio_.registers();
  switch (test) {
    case ContinuousTest::Modulated:
      r.updateBbp(22, 0x7F, 0);
      if (unchecking) r.updateMac(kMacControl, ~kContinuousEnable, 0);
      break;
    case ContinuousTest::Carrier: r.updateBbp(22, 0x80, 0); break;
    case ContinuousTest::Suppression:
      r.updateMac(kMacControl, ~kContinuousEnable, 0);
      r.updateBbp(22, 0x7F, 0);
      r.updateBbp(21, 0xEF, 0);
      break;
    case ContinuousTest::None: return;
  }
  r.pulseBbpR21();
  r.setMac(kTxPins, savedTxPins_);
  radio_.applyDac(radio_.dac);
}

TxRxTester::Outcome TxRxTester::stopTx() {
  if (!rxRunning_ && !rx2Running_) killTimer(PageTimer::Statistics);
  killTimer(PageTimer::TssiCompensation);
  killTimer(PageTimer::ContinuousRestart);
  txRunning_ = false;
  beaconHeld_ = false;
  Outcome outcome = Outcome::Done;
  if (test_ == ContinuousTest::None) {
    outcome = page::DoneIf(device::StopTxRun(device_).ok);
  } else {
    undoContinuousTest(test_, false);
  }
  device_.clock.sleepMs(200);
  radio_.registers().updateMac(kMacControl, ~kTxEnable, 0);
  return outcome;
}

TxRxTester::Outcome TxRxTester::toggleTx() {
  return txRunning_ ? stopTx() : startTx();
}

TxRxTester::Outcome TxRxTester::setContinuousTest(ContinuousTest test, bool checked) {
  if (test == ContinuousTest::None) return Outcome::Done;
  if (checked && test_ != ContinuousTest::None && test_ != test)
    return refuse("Clear the other continuous test first.");
  if (checked == (test_ == test)) return Outcome::Done;
  const bool wasRunning = txRunning_;
  if (txRunning_) stopTx();
  ChipRegisters& r = radio_.registers();
  Outcome outcome = Outcome::Done;
  if (checked) {
    test_ = test;
    savedTxPins_ = r.mac(kTxPins);
    if (test == ContinuousTest::Modulated) {
      r.updateMac(kMacControl, ~0u, kContinuousEnable);
      contiPriming_ = true;
      outcome = startTx();
      contiPriming_ = false;
    }
  } else {
    test_ = ContinuousTest::None;
    undoContinuousTest(test, true);
    if (test == ContinuousTest::Modulated) contiPriming_ = false;
  }
  if (wasRunning && !txRunning_) outcome = startTx();
  return outcome;
}

// --- Receive --------------------------------------------------------------------

TxRxTester::Outcome TxRxTester::startRx() {
  rxRunning_ = true;
  radio_.registers().updateMac(kMacControl, ~0u, kRxEnable);
  if (!txRunning_) startTimer(PageTimer::Statistics);
  startTimer(PageTimer::TemperatureCompensation);
  return page::DoneIf(device::StartReception(device_, 0).ok);
}

TxRxTester::Outcome TxRxTester::stopRx() {
  if (loopback_) return Outcome::Done;  // loopback holds reception
  rxRunning_ = false;
  killTimer(PageTimer::TemperatureCompensation);
  if (!rx2Running_) radio_.registers().updateMac(kMacControl, ~kRxEnable, 0);
  if (!txRunning_) killTimer(PageTimer::Statistics);
  return page::DoneIf(device::StopReception(device_, 0).ok);
}

TxRxTester::Outcome TxRxTester::toggleRx() {
  return rxRunning_ ? stopRx() : startRx();
}

TxRxTester::Outcome TxRxTester::setLoopback(bool on) {
  if (on == loopback_) return Outcome::Done;
  ChipRegisters& r = radio_.registers();
  if (on) {
    toggleRx();
    device_.clock.sleepMs(500);
    toggleRx();
    resetCounters();
    r.updateMac(0x050C, ~kLoopbackPaths, 0);
    r.updateMac(0x0504, ~0u, kLoopbackPaths);
    r.updateMac(kMacControl, ~0u, kLoopbackEnable);
    loopback_ = true;
    if (!rxRunning_) return startRx();
    return Outcome::Done;
  }
  r.updateMac(kMacControl, ~kLoopbackEnable, 0);
  r.updateMac(0x0504, ~kLoopbackPaths, 0);
  loopback_ = false;
  if (rxRunning_) return stopRx();
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::toggleSecondRx() {
  ChipRegisters& r = radio_.registers();
  if (!rx2Running_) {
    rx2Running_ = true;
    r.updateMac(kMacControl, ~0u, kRxEnable);
    startTimer(PageTimer::SecondReceive);
    return page::DoneIf(device::StartReception(device_, 1).ok);
  }
  if (loopback_) return Outcome::Done;
  rx2Running_ = false;
  if (!rxRunning_) r.updateMac(kMacControl, ~kRxEnable, 0);
  killTimer(PageTimer::SecondReceive);
  return page::DoneIf(device::StopReception(device_, 1).ok);
}

TxRxTester::Outcome TxRxTester::resetCounters() {
  const device::CallResult reset = device::ResetPipelineCounters(device_);
  if (!reset) {
    device_.prompt.showMessage(device::Format(kCounterResetFailed, static_cast<int>(reset.error)));
    return Outcome::Failed;
  }
  tracker_.reset();
  signal_.fer.reset();
  signal_.frameLoss.reset();
  shown_.counters.fill("0 / 0");
  shown_.fer = "0%";
  shown_.frameLoss = "0";
  shown_.transmitted = "0";
  shown_.queues.fill("0");
  transmittedTotal_ = 0;
  return Outcome::Done;
}

// --- Timers ---------------------------------------------------------------------

void TxRxTester::refreshStatistics() {
  statisticsFresh_ = device::QueryRxStatistics(device_, statistics_).ok;
  signal_.fresh = statisticsFresh_;
  if (!statisticsFresh_) return;
  signal_.statistics = tracker_.refresh(statistics_, run.environment);
  shown_.counters = signal_.statistics.texts;
  if (signal_.statistics.fer) {
    signal_.fer = signal_.statistics.fer;
    shown_.fer = PercentText(*signal_.fer);
  }
  if (signal_.statistics.frameLoss) {
    signal_.frameLoss = signal_.statistics.frameLoss;
    shown_.frameLoss = PercentText(*signal_.frameLoss);
  }
}

bool TxRxTester::showProgress() {
  device::TxProgressWords words{};
  if (!device::QueryTxProgress(device_, words).ok) return false;
  for (std::size_t slot = 0; slot < kQueueSlots; ++slot)
    shown_.queues[slot] = device::Format("%d ", static_cast<int>(words[slot + 1]));
  shown_.transmitted = device::Format("%llu", static_cast<unsigned long long>(transmittedTotal_ + words[0]));
  // Several queues count down one count and may send a few more than it.
  const bool complete = build_.repeat > 0 && words[0] != 0 && words[0] >= build_.repeat;
  if (complete && txRunning_ && !beaconHeld_ && test_ == ContinuousTest::None) {
    if (!loopback_) radio_.registers().updateMac(kMacControl, ~kTxEnable, 0);
    transmittedTotal_ += words[0];
    txRunning_ = false;
    killTimer(PageTimer::TssiCompensation);
  }
  return true;
}

void TxRxTester::showSignal() {
  if (!statisticsFresh_) return;
  const SignalReading reading = SignalOf(statistics_);
  const int paths = std::clamp(radio_.rxPaths(), 1, 3);
  signal_.rxPaths = paths;
  for (int p = 0; p < 3; ++p) {
    const auto index = static_cast<std::size_t>(p);
    if (p >= paths) {
      shown_.rssi[index].clear();
      continue;
    }
    signal_.rssiDbm[index] = RssiDbm(reading.rssiRaw[index], device_.settings.rssiOffsets[index], radio_.wide,
                                     radio_.antenna == Antenna::Main, radio_.bandLnaGain());
    shown_.rssi[index] = device::Format("%d dBm", signal_.rssiDbm[index]);
  }
  for (std::size_t s = 0; s < 2; ++s) {
    signal_.snrDb[s] = SnrDb(reading.snrRaw[s]);
    shown_.snr[s] = SnrText(reading.snrRaw[s]);
  }
  const std::uint8_t r57 = radio_.registers().bbp(57);
  signal_.deviationKhz = DeviationKhz(r57);
  signal_.deviationPpm = DeviationPpm(r57, radio_.fiveGhz());
  shown_.deviation = DeviationText(r57, radio_.fiveGhz());
}

TxRxTester::Outcome TxRxTester::tick(PageTimer timer) {
  if (!timerRunning(timer)) return Outcome::Done;
  switch (timer) {
    case PageTimer::Statistics:
      if (rxRunning_) refreshStatistics();
      if (txRunning_ && !beaconHeld_ && !showProgress()) return Outcome::Failed;
      if (rxRunning_) showSignal();
      return Outcome::Done;
    case PageTimer::TemperatureCompensation:
      if (!temperatureCompensation) killTimer(timer);
      else calibrations_.temperatureCompensation();
      return Outcome::Done;
    case PageTimer::TssiCompensation:
      if (!radio_.tssi) killTimer(timer);
      else calibrations_.tssiCompensation();
      return Outcome::Done;
    case PageTimer::ContinuousRestart:
      if (!temperatureCompensation && !radio_.tssi) {
        killTimer(timer);
      } else if (test_ == ContinuousTest::Modulated && txRunning_) {
        toggleTx();
        if (!txRunning_) toggleTx();
      }
      return Outcome::Done;
    case PageTimer::SecondReceive: {
      if (!rx2Running_) return Outcome::Done;
      std::uint32_t transfers = 0;
      if (!device::QueryRx1Transfers(device_, transfers).ok) return Outcome::Failed;
      shown_.secondReceive = device::Format("%d", static_cast<int>(transfers));
      return Outcome::Done;
    }
  }
  return Outcome::Done;
}

void TxRxTester::stopActivities() {
  if (txRunning_) stopTx();
  if (loopback_) setLoopback(false);
  if (rxRunning_) stopRx();
  if (rx2Running_) toggleSecondRx();
}

// --- Small settings ---------------------------------------------------------------

TxRxTester::Outcome TxRxTester::setAutoResponder(bool on) {
  autoResponder = on;
  return page::DoneIf(radio_.registers().updateMac(0x1404, on ? ~0u : ~0x1u, on ? 0x1 : 0));
}

TxRxTester::Outcome TxRxTester::setStationAddress() {
  FieldReader reader;
  const std::vector<std::uint8_t> b = reader.bytes("MAC Address", macAddress, 6);
  if (!reader.ok()) return refuse(reader.problem());
  ChipRegisters& r = radio_.registers();
  const std::uint32_t low = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  const std::uint32_t high = b[4] | (b[5] << 8);
  return page::DoneIf(r.setMac(0x1008, low) && r.setMac(0x100C, high));
}

TxRxTester::Outcome TxRxTester::chooseDac(DacChoice choice) {
  radio_.applyDac(choice);
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::chooseAntenna(Antenna choice) {
  radio_.selectAntenna(choice);
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::setSideBandOption(bool on) {
  radio_.sideBandOption = on;
  radio_.applyRatePowers();
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::setStbc(bool on) {
  run.stbc = on && StbcEnabled(run);
  radio_.applyRatePowers();
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::setTssi(bool on) {
  radio_.tssi = on;
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::setRssiOffset(int path, const std::string& text) {
  if (path < 0 || path > 2) return Outcome::Refused;
  const auto value = registers::ParseHexField(text);
  if (!value || *value > 0xFF)
    return refuse(device::Format("RSSI%d \"Offset\": \"%s\" is not a hexadecimal byte (00 to FF).", path,
                                 text.c_str()));
  rssiOffsets[static_cast<std::size_t>(path)] = text;
  device_.settings.rssiOffsets[static_cast<std::size_t>(path)] = static_cast<std::int8_t>(*value);
  return Outcome::Done;
}

TxRxTester::Outcome TxRxTester::chooseWmmSelection(int selection) {
  if (selection < kRg0Wmm || selection > kRg2Wmm1) return Outcome::Refused;
  return page::DoneIf(WriteWmmSelection(device_, selection));
}

TxRxTester::Outcome TxRxTester::acceptDescriptorDialog(const DescriptorSettings& settings) {
  std::string problem;
  if (!WriteDescriptorDialogRegisters(device_, settings, problem)) {
    if (!problem.empty()) return refuse(problem);
    return Outcome::Failed;
  }
  run.descriptor = settings;
  shown_.queueCountsShown = true;
  MarkProtectedFrame(run);
  return Outcome::Done;
}

// --- Another process's run ----------------------------------------------------------

void TxRxTester::adoptChipState() {
  radio_.loadConfiguration();
  radio_.adoptChipState();
  ChipRegisters& r = radio_.registers();
  const std::uint32_t control = r.mac(kMacControl);
  if (control == device::kFailedReadValue) return;
  rxRunning_ = (control & kRxEnable) != 0;
  loopback_ = (control & kLoopbackEnable) != 0 && (r.mac(0x0504) & kLoopbackPaths) == kLoopbackPaths;
  const std::uint8_t r22 = r.bbp(22);
  if ((control & kContinuousEnable) != 0 && (r.bbp(21) & 0x10) != 0 && (r22 & 0x80) != 0)
    test_ = ContinuousTest::Suppression;
  else if ((r22 & 0x80) != 0)
    test_ = ContinuousTest::Modulated;
  else if ((r22 & 0x41) == 0x41)
    test_ = ContinuousTest::Carrier;
  txRunning_ = test_ != ContinuousTest::None || (control & kTxEnable) != 0;
  if (rxRunning_ || txRunning_) startTimer(PageTimer::Statistics);
  // What the pins held before the test is not known here: the band's value.
  savedTxPins_ = radio_.fiveGhz() ? 0x0F05 : 0x0F0A;
  const std::uint16_t rssi = [&] {
    std::uint16_t word = 0;
    device::ReadEepromWord(radio_.configMemory(), radio_.fiveGhz() ? 0x4A : 0x46, word);
    return word;
  }();
  device_.settings.rssiOffsets[0] = static_cast<std::int8_t>(rssi & 0xFF);
  device_.settings.rssiOffsets[1] = static_cast<std::int8_t>(rssi >> 8);
  rssiOffsets[0] = device::Format("%02x", rssi & 0xFF);
  rssiOffsets[1] = device::Format("%02x", rssi >> 8);
  syncModeFromContext();
  readStationAddress();
}

TxRxTester::Outcome TxRxTester::adoptOrActivate() {
  if (radio_.registers().mac(kActivationMark) != kActivationMarkValue) return activate();
  adoptChipState();
  return Outcome::Done;
}

}  // namespace kqa::txrx
