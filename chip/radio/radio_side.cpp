#include "chip/radio/radio_side.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "chip/radio/channel_plan.h"
#include "chip/radio/random.h"
#include "chip/radio/tx_packet.h"
#include "platform/bytes/little_endian.h"

namespace kqa::chip {

namespace {

using Duration = Clock::Duration;
using namespace std::chrono_literals;

constexpr std::uint16_t kMacControl = 0x1004;  // bit 2 TX, bit 3 RX, bit 5 loopback
constexpr std::uint32_t kTxEnable = 1u << 2;
constexpr std::uint32_t kRxEnable = 1u << 3;
constexpr std::uint32_t kLoopback = 1u << 5;
constexpr std::uint16_t kLoopbackPath = 0x0504;
constexpr std::uint32_t kLoopbackPathBits = 0x481C;
constexpr std::uint16_t kStationLow = 0x1008;
constexpr std::uint16_t kStationHigh = 0x100C;
constexpr std::uint16_t kUsbControl = 0x0238;
constexpr std::uint32_t kSeveralRecords = 1u << 21;
constexpr std::uint16_t kWcidTable = 0x1800;
constexpr int kWcidEntries = 256;
constexpr std::uint16_t kTxCounter = 0x170C;

constexpr Duration kSlice = 10ms;     // the air is worked through in slices
constexpr Duration kHistory = 20ms;   // how long ended frames stay for captures
constexpr std::size_t kMaxResponses = 8;
constexpr double kLoopbackCouplingDb = 60.0;
constexpr double kCrystalTrimCentre = 0x24;
constexpr double kPpmPerTrimStep = 0.25;
constexpr std::array<double, 3> kLoopbackPathDb{0.0, -1.5, -3.0};

void InsertByEnd(std::deque<AirFrame>& frames, AirFrame frame) {
  auto at = std::upper_bound(frames.begin(), frames.end(), frame.end,
                             [](Duration end, const AirFrame& f) { return end < f.end; });
  frames.insert(at, std::move(frame));
}

}  // namespace

Environment RadioSide::EnvironmentOf(const RadioOptions& options) {
  if (options.environment) return *options.environment;
  if (!options.environmentFile.empty()) return Environment::Load(options.environmentFile);
  return Environment::BuiltIn();
}

RadioSide::RadioSide(ChipCore& core, const KestrelOptions& options, std::function<void(std::uint8_t)> wake)
    : core_(core),
      options_(options.radio),
      frontEnd_(FrontEnd::Of(options.board)),
      seed_(Random::Mix(0x4B657374ull, options.seed)),
      wake_(std::move(wake)),
      powerOn_(core.clock().now()),
      advancedTo_(powerOn_),
      air_(EnvironmentOf(options.radio), seed_, powerOn_),
      mcu_(core),
      receiver_(frontEnd_, seed_),
      calibration_(core, *this),
      sensors_(core, frontEnd_, transmitter_, options.radio.temperatureC),
      capture_(core, *this),
      predistortion_(core),
      bbpTables_(core),
      dataScope_(core, *this) {
  installRegisters();
}

void RadioSide::installRegisters() {
  RegisterSpace& mac = core_.mac();
  mac.map(kMacControl, kMacControl, {nullptr, [this](std::uint16_t address, std::uint32_t value) {
                                       const std::uint32_t before = core_.mac().stored(address);
                                       core_.mac().store(address, value);
                                       // Switching reception off resets the receive FIFO.
                                       if ((before & kRxEnable) != 0 && (value & kRxEnable) == 0) receiver_.flush();
                                       if ((before & kRxEnable) == 0 && (value & kRxEnable) != 0 && receptionListener_)
                                         receptionListener_();
                                     },
                                     nullptr});
  for (std::uint16_t address : {std::uint16_t{0x1700}, std::uint16_t{0x1704}, std::uint16_t{0x1708}}) {
    mac.map(address, address,
            {[this](std::uint16_t a) { return receiver_.readCounter(a); }, [](std::uint16_t, std::uint32_t) {},
             [this](std::uint16_t a) { return receiver_.peekCounter(a); }});
  }
  mac.map(kTxCounter, kTxCounter,
          {[this](std::uint16_t) { return transmitter_.readCounter(); }, [](std::uint16_t, std::uint32_t) {},
           [this](std::uint16_t) { return transmitter_.peekCounter(); }});

  auto& bbp = core_.bbp();
  for (int path = 0; path < 3; ++path)
    bbp.setHook(static_cast<std::uint8_t>(50 + path), {[this, path](std::uint8_t) { return rssiRegister(path); }, nullptr});
  bbp.setHook(57, {[this](std::uint8_t) { return static_cast<std::uint8_t>(receiver_.lastDeviation()); }, nullptr});
}

// --- Time ----------------------------------------------------------------------

void RadioSide::advance() {
  const Duration now = core_.clock().now();
  while (advancedTo_ < now) step(std::min(now, advancedTo_ + kSlice));
  wakeIfReady();
}

void RadioSide::step(Duration until) {
  const ReceiverSettings settings = receiverSettings();
  for (AirFrame& frame : air_.take(until)) {
    if (capture_.busy()) {
      const auto result = verdict(frame).result;
      capture_.frameStarted(frame, result == Reception::Result::Received || result == Reception::Result::CrcError ||
                                       result == Reception::Result::PhyError);
    }
    InsertByEnd(onAir_, std::move(frame));
  }
  while (!onAir_.empty() && onAir_.front().end <= until) {
    AirFrame& frame = onAir_.front();
    const Reception reception = Receive(frame, settings, frontEnd_, noiseFloor(settings), seed_);
    receiver_.file(frame, reception, receiveContext(settings, frame));
    history_.push_back(std::move(frame));
    onAir_.pop_front();
  }
  capture_.advance(until);
  while (!history_.empty() && history_.front().end + kHistory < until) history_.pop_front();
  advancedTo_ = until;
}

std::optional<Duration> RadioSide::nextDelivery() const {
  if ((core_.mac().stored(kMacControl) & kRxEnable) == 0) return std::nullopt;
  std::optional<Duration> next = air_.nextStart();
  if (!onAir_.empty() && (!next || onAir_.front().end < *next)) next = onAir_.front().end;
  return next;
}

void RadioSide::wakeIfReady() {
  if (!responses_.empty()) wake_(kFirstIn);
  if (receiver_.hasRecords()) {
    wake_(kFirstIn);
    wake_(kSecondIn);
  }
}

// --- Settings ------------------------------------------------------------------

ReceiverSettings RadioSide::receiverSettings() const {
  const auto& bbp = core_.bbp();
  const auto& rf = core_.rf();
  ReceiverSettings s;
  s.enabled = (core_.mac().stored(kMacControl) & kRxEnable) != 0;
  s.tuning = SynthesizerTuning(rf);
  s.wide = ((bbp.stored(4) >> 3) & 3) == 2;
  s.auxAntenna = (bbp.stored(152) & 0x80) != 0;
  s.manualGain = (bbp.stored(65) & 0x80) != 0;
  s.vgaGain = bbp.gainOfPath(0);
  s.crystalPpm = options_.crystalPpm - (rf.stored(0, 12) - kCrystalTrimCentre) * kPpmPerTrimStep;
  return s;
}

double RadioSide::noiseFloor(const ReceiverSettings& settings) const {
  return air_.environment().noiseFloor(settings.tuning.channel);
}

MacAddress RadioSide::stationAddress() const {
  MacAddress address;
  const std::uint32_t low = core_.mac().stored(kStationLow);
  const std::uint32_t high = core_.mac().stored(kStationHigh);
  for (std::size_t i = 0; i < 4; ++i) address[i] = static_cast<std::uint8_t>(low >> (8 * i));
  address[4] = static_cast<std::uint8_t>(high);
  address[5] = static_cast<std::uint8_t>(high >> 8);
  return address;
}

// The WCID table (MAC 0x1800 + 8 x entry: address bytes 0-3, then 4-5) names
// the transmitter (address 2) of a received frame.
std::uint8_t RadioSide::wcidOf(std::span<const std::uint8_t> frame) const {
  if (frame.size() < 16) return 0xFF;
  const std::uint32_t low = GetLe32(frame, 10);
  const std::uint32_t high = GetLe16(frame, 14);
  if (low == 0 && high == 0) return 0xFF;
  for (int entry = 0; entry < kWcidEntries; ++entry) {
    const auto address = static_cast<std::uint16_t>(kWcidTable + 8 * entry);
    if (core_.mac().stored(address) == low && (core_.mac().stored(static_cast<std::uint16_t>(address + 4)) & 0xFFFF) == high)
      return static_cast<std::uint8_t>(entry);
  }
  return 0xFF;
}

Receiver::Context RadioSide::receiveContext(const ReceiverSettings& settings, const AirFrame& frame) const {
  Receiver::Context context;
  context.station = stationAddress();
  context.wcid = wcidOf(frame.mpdu);
  context.timerUs = static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(frame.end - powerOn_).count());
  context.fiveGhz = IsFiveGhz(settings.tuning.channel);
  context.wide = settings.wide;
  context.auxAntenna = settings.auxAntenna;
  context.noise = EncodeRegisterRssi(EffectiveNoiseDbm(noiseFloor(settings), settings), frontEnd_.rssiOffset(0, context.fiveGhz),
                                     frontEnd_.lnaGain(context.fiveGhz));
  return context;
}

ChainInput RadioSide::chainInput() const {
  ChainInput input;
  input.receiver = receiverSettings();
  input.noiseFloorDbm = noiseFloor(input.receiver);
  input.bandSupported = !IsFiveGhz(input.receiver.tuning.channel) || frontEnd_.fiveGhz;
  input.impairments.gainImbalance = options_.iqGainImbalance;
  input.impairments.phaseDeg = options_.iqPhaseDeg;
  input.impairments.groupDelayNs = options_.iqGroupDelayNs;
  const double dc = calibration_.dcCalibrated() ? 0.03 : 1.0;
  input.impairments.dcI = options_.dcOffsetI * dc;
  input.impairments.dcQ = options_.dcOffsetQ * dc;
  for (const auto& frame : history_) input.frames.push_back(&frame);
  for (const auto& frame : onAir_) input.frames.push_back(&frame);
  input.tone = air_.tone();
  input.testTone = calibration_.testTone();
  input.seed = seed_;
  return input;
}

Reception RadioSide::verdict(const AirFrame& frame) const {
  const ReceiverSettings settings = receiverSettings();
  return Receive(frame, settings, frontEnd_, noiseFloor(settings), seed_);
}

// BBP R50-R52: the level the AGC measures on a path: the last frame's while
// it holds it, else what is in the channel (noise and a tone in the band).
std::uint8_t RadioSide::rssiRegister(int path) {
  const ReceiverSettings settings = receiverSettings();
  if (!settings.enabled || path >= frontEnd_.rxPaths || settings.tuning.centreMHz == 0.0) return 0;
  const bool fiveGhz = IsFiveGhz(settings.tuning.channel);
  const Duration now = core_.clock().now();
  double level;
  if (const auto held = receiver_.heldLevel(now)) {
    level = (*held)[static_cast<std::size_t>(path)];
  } else {
    double milliwatts = std::pow(10.0, EffectiveNoiseDbm(noiseFloor(settings), settings) / 10.0);
    if (const auto& tone = air_.tone()) {
      const double offset = ChannelCentreMHz(tone->channel) + tone->offsetMHz - settings.tuning.centreMHz;
      milliwatts += std::pow(10.0, (tone->levelDbm - ChannelRejectionDb(offset, settings.wide)) / 10.0);
    }
    Random jitter(Random::Mix(seed_ ^ 0x525353ull, static_cast<std::uint64_t>(now.count()) * 4 + static_cast<std::uint64_t>(path)));
    level = 10.0 * std::log10(milliwatts) + 0.5 * jitter.gaussian();
  }
  return EncodeRegisterRssi(level, frontEnd_.rssiOffset(path, fiveGhz), frontEnd_.lnaGain(fiveGhz));
}

// --- Bulk ----------------------------------------------------------------------

void RadioSide::receiveOut(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
  const OutTransfer transfer = ParseOutTransfer(data);
  if (transfer.malformed) ++malformedTransfers_;
  for (const OutPacket& packet : transfer.packets) {
    switch (packet.kind) {
      case OutPacket::Kind::McuCommand:
        if (auto response = mcu_.command(packet.info, packet.body)) {
          if (responses_.size() == kMaxResponses) responses_.pop_front();
          responses_.push_back(std::move(*response));
        }
        break;
      case OutPacket::Kind::FirmwareChunk:
        mcu_.download(packet.body);
        break;
      case OutPacket::Kind::Frame:
        transmit(endpoint, packet.body);
        break;
    }
  }
  wakeIfReady();
}

void RadioSide::transmit(std::uint8_t endpoint, std::span<const std::uint8_t> body) {
  const auto frame = DecodeTxFrame(body);
  const std::uint32_t control = core_.mac().stored(kMacControl);
  if (!frame || (control & kTxEnable) == 0) {
    transmitter_.dropped();
    return;
  }
  const double power = sensors_.outputPowerDbm(0);
  auto mpdu = transmitter_.prepare(*frame);
  transmitter_.sent(endpoint, frame->descriptor.rate, power, core_.clock().now());
  const bool loopback =
      (control & kLoopback) != 0 && (core_.mac().stored(kLoopbackPath) & kLoopbackPathBits) == kLoopbackPathBits;
  if (loopback) fileLoopback(std::move(mpdu), frame->descriptor.rate, power);
}

// A looped-back frame reaches the receiver inside the chip: strong, clean,
// on the chip's own frequency.
void RadioSide::fileLoopback(std::vector<std::uint8_t> mpdu, const PhyRate& rate, double powerDbm) {
  const ReceiverSettings settings = receiverSettings();
  if (!settings.enabled) return;
  const Duration now = core_.clock().now();
  AirFrame frame;
  frame.id = (0xFFFFull << 40) | loopbackFrames_++;
  frame.start = now - AirTime(rate, mpdu.size());
  frame.end = now;
  frame.channel = settings.tuning.channel;
  frame.levelDbm = powerDbm - kLoopbackCouplingDb;
  frame.ppm = settings.crystalPpm;
  frame.rate = rate;
  frame.mpdu = std::move(mpdu);
  Reception reception;
  reception.result = Reception::Result::Received;
  const double noise = EffectiveNoiseDbm(noiseFloor(settings), settings);
  for (std::size_t p = 0; p < reception.levelDbm.size(); ++p) {
    reception.levelDbm[p] = frame.levelDbm + kLoopbackPathDb[p];
    reception.snrDb[p] = std::min(40.0, reception.levelDbm[p] - noise);
  }
  receiver_.file(frame, reception, receiveContext(settings, frame));
}

std::optional<std::vector<std::uint8_t>> RadioSide::nextIn(std::uint8_t endpoint, std::size_t capacity) {
  if (endpoint == kFirstIn && !responses_.empty()) {
    auto response = std::move(responses_.front());
    responses_.pop_front();
    return response;
  }
  if ((core_.mac().stored(kMacControl) & kRxEnable) == 0) return std::nullopt;
  return receiver_.takeTransfer(capacity, (core_.mac().stored(kUsbControl) & kSeveralRecords) != 0);
}

void RadioSide::startGenerator(const GeneratorFrames& frames) {
  advance();
  air_.startGenerator(frames, core_.clock().now());
}

void RadioSide::powerOnReset() {
  mcu_.reset();
  responses_.clear();
  receiver_.reset();
  transmitter_.reset();
  malformedTransfers_ = 0;
  calibration_.reset();
  sensors_.reset();
  capture_.reset();
  predistortion_.reset();
  bbpTables_.reset();
  dataScope_.reset();
  powerOn_ = core_.clock().now();
}

}  // namespace kqa::chip
