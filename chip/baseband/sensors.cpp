#include "chip/baseband/sensors.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace kqa::chip {

namespace {

constexpr std::uint8_t kControl = 47;
constexpr std::uint8_t kResult = 49;
constexpr std::uint8_t kStart = 0x10;
constexpr std::uint8_t kReady = 0x40;
constexpr std::uint8_t kVcoCalibrate = 0x80;

int Signed6(std::uint32_t bits) { return (bits & 0x20) != 0 ? static_cast<int>(bits & 0x3F) - 64 : static_cast<int>(bits & 0x3F); }

}  // namespace

Sensors::Sensors(ChipCore& core, const FrontEnd& frontEnd, const Transmitter& transmitter, double temperatureC)
    : core_(core), frontEnd_(frontEnd), transmitter_(transmitter), temperatureC_(temperatureC) {
  core_.bbp().setHook(kControl, {[this](std::uint8_t) { return readControl(); },
                                 [this](std::uint8_t, std::uint8_t value) { writeControl(value); }});
  core_.bbp().setHook(kResult, {[this](std::uint8_t) { return result(); }, nullptr});
  core_.rf().setHook(0, 4,
                     {[this](int bank, int reg) {
                        if (vcoDone_ && core_.clock().now() >= *vcoDone_) vcoDone_.reset();
                        const std::uint8_t stored = core_.rf().stored(bank, reg);
                        return static_cast<std::uint8_t>(vcoDone_ ? stored | kVcoCalibrate : stored & ~kVcoCalibrate);
                      },
                      [this](int bank, int reg, std::uint8_t value) {
                        core_.rf().store(bank, reg, static_cast<std::uint8_t>(value & ~kVcoCalibrate));
                        if ((value & kVcoCalibrate) != 0) {
                          vcoDone_ = core_.clock().now() + kVcoCalibrationTime;
                          ++vcoCalibrations_;
                        }
                      }});
}

std::uint8_t Sensors::readControl() {
  if (conversionDone_ && core_.clock().now() >= *conversionDone_ && !core_.faults().busyStuck(BusyUnit::Sensor)) {
    // The converter samples at the end of its conversion: what the host
    // switched on meanwhile (the test tone) is in the results.
    conversionDone_.reset();
    convert();
    ready_ = true;
  }
  std::uint8_t value = core_.bbp().stored(kControl) & static_cast<std::uint8_t>(~(kStart | kReady));
  if (conversionDone_) value |= kStart;
  if (ready_) value |= kReady;
  return value;
}

void Sensors::writeControl(std::uint8_t value) {
  core_.bbp().store(kControl, static_cast<std::uint8_t>(value & ~(kStart | kReady)));
  if ((value & kStart) != 0) {
    ready_ = false;
    conversionDone_ = core_.clock().now() + kConversionTime;
  }
}

std::uint8_t Sensors::result() {
  readControl();  // a finished conversion becomes visible
  if (!ready_) return 0;
  switch (core_.bbp().stored(kControl) & 7) {
    case 0: return results_[0];
    case 1: return results_[1];
    case 2: return results_[2];
    case 4: return results_[4];
    case 5: return results_[5];
    default: return 0;
  }
}

double Sensors::outputPowerDbm(int path) const {
  const std::uint32_t power = core_.mac().stored(0x13B0);
  const int code = static_cast<int>(path == 0 ? power & 0x3F : (power >> 8) & 0x3F);
  const int alc = Signed6(core_.mac().stored(0x13B4));
  return std::clamp(8.0 + 0.5 * (code + alc) + txGainErrorDb_, -5.0, 23.0);
}

std::uint8_t Sensors::tssi(int path) const {
  const auto& bbp = core_.bbp();
  const std::uint8_t r22 = bbp.stored(22);
  const bool continuous = (r22 & 0x80) != 0 || (r22 & 0x41) == 0x41;
  const bool tone = (bbp.stored(244) & 0x30) == 0x30;
  const auto& last = transmitter_.last();
  const bool recentPacket = last && core_.clock().now() - last->time <= std::chrono::milliseconds(10);
  double milliwatts = 0.0;
  if (path < frontEnd_.txPaths && (continuous || tone || recentPacket)) {
    const double dbm = outputPowerDbm(path) - (tone && !continuous ? 6.0 : 0.0);
    milliwatts = std::pow(10.0, dbm / 10.0);
  }
  const double sensitivity = (core_.rf().stored(5, 3) & 0x10) != 0 ? 3.0 : 1.5;
  const double code = 24.0 + 0.1 * (temperatureC_ - 25.0) + sensitivity * milliwatts;
  return static_cast<std::uint8_t>(std::clamp(std::lround(code), 0L, 255L));
}

void Sensors::convert() {
  results_[0] = tssi(0);
  results_[5] = tssi(1);
  results_[4] = static_cast<std::uint8_t>(std::clamp(std::lround(0x20 + (temperatureC_ - 25.0) / 3.89), 0L, 255L));
  results_[1] = results_[2] = 0;
  if (const auto& last = transmitter_.last()) {
    const auto& rate = last->rate;
    const std::uint8_t code = rate.mode == PhyMode::Cck    ? static_cast<std::uint8_t>(rate.mcs & 3)
                              : rate.mode == PhyMode::Ofdm ? OfdmSignalRate(rate.mcs)
                                                           : 0;
    results_[1] = static_cast<std::uint8_t>(code << 4 | static_cast<std::uint8_t>(rate.mode));
    results_[2] = rate.isHt() ? static_cast<std::uint8_t>(rate.mcs & 0x7F) : 0;
  }
}

void Sensors::reset() {
  conversionDone_.reset();
  ready_ = false;
  std::fill(std::begin(results_), std::end(results_), std::uint8_t{0});
  vcoDone_.reset();
  vcoCalibrations_ = 0;
}

}  // namespace kqa::chip
