#include "chip/baseband/calibration_engines.h"

#include <chrono>
#include <cmath>

namespace kqa::chip {

namespace {

constexpr std::uint8_t kEngine = 0x00;
constexpr std::uint8_t kVerdict = 0x05;
constexpr std::uint8_t kStatisticSelect = 0x1E;
constexpr std::uint8_t kStatisticFirst = 0x1F;
constexpr std::uint8_t kStatisticLast = 0x22;
constexpr std::uint8_t kDcoc = 0x8C;
constexpr std::uint8_t kDcocBusy = 0x40;

constexpr std::uint8_t kRxMismatch = 0x03;
constexpr std::uint8_t kTxMismatch = 0x04;
constexpr std::uint8_t kStatistics = 0x13;

}  // namespace

CalibrationEngines::CalibrationEngines(ChipCore& core, const SignalView& signal) : core_(core), signal_(signal) {
  core_.bbp().setHook(kData, {[this](std::uint8_t) { return read(); },
                              [this](std::uint8_t, std::uint8_t value) { write(value); }});
}

std::optional<TestTone> CalibrationEngines::testTone() const {
  const auto& bbp = core_.bbp();
  const std::uint8_t control = bbp.stored(244);
  const std::uint8_t amplitude = bbp.stored(241);
  if ((control & 0x30) != 0x30 || amplitude == 0) return std::nullopt;
  return TestTone{3.125 * (control & 0x0F), -40.0 + 20.0 * std::log10(amplitude / 20.0)};
}

std::uint8_t CalibrationEngines::read() {
  const std::uint8_t index = core_.bbp().stored(kIndex);
  finishDcoc();
  if (index >= kStatisticFirst && index <= kStatisticLast) {
    const std::size_t which = indirect_[kStatisticSelect] % statistics_.size();
    const auto value = static_cast<std::uint32_t>(statistics_[which]);
    return static_cast<std::uint8_t>(value >> (8 * (index - kStatisticFirst)));
  }
  return indirect_[index];
}

void CalibrationEngines::write(std::uint8_t value) {
  const std::uint8_t index = core_.bbp().stored(kIndex);
  core_.bbp().store(kData, value);
  finishDcoc();
  if (index == kDcoc) {
    indirect_[index] = value;
    if ((value & kDcocBusy) != 0) dcocDone_ = core_.clock().now() + kDcocTime;
    return;
  }
  indirect_[index] = value;
  if (index == kEngine && (value & 0x80) != 0) start(value & 0x7F);
}

void CalibrationEngines::finishDcoc() {
  if (!dcocDone_ || core_.clock().now() < *dcocDone_ || core_.faults().busyStuck(BusyUnit::DcOffset)) return;
  dcocDone_.reset();
  indirect_[kDcoc] &= static_cast<std::uint8_t>(~kDcocBusy);
  dcCalibrated_ = true;
}

void CalibrationEngines::start(std::uint8_t engine) {
  switch (engine) {
    case kRxMismatch:
    case kTxMismatch: {
      bool gainLow = false;
      if (engine == kRxMismatch) {
        gainLow = (core_.bbp().stored(65) & 0x80) != 0 && (core_.bbp().gainOfPath(0) & 0x3F) < 0x08;
      } else {
        gainLow = (core_.mac().stored(0x13B0) & 0x3F) < 4;
      }
      const std::uint8_t flags = static_cast<std::uint8_t>((gainLow ? 1 : 0) | (dcCalibrated_ ? 0 : 2));
      indirect_[kVerdict] = static_cast<std::uint8_t>((indirect_[kVerdict] & ~3) | flags);
      return;
    }
    case kStatistics:
      measure();
      return;
    default:
      return;
  }
}

void CalibrationEngines::measure() {
  ChainInput input = signal_.chainInput();
  input.testTone = testTone();
  input.salt = ++measurements_;
  const double rate = SampleRateMHz(input.receiver.wide);
  const auto span = std::chrono::nanoseconds(static_cast<std::int64_t>(kStatisticSamples * 1000.0 / rate));
  const auto samples = RenderAdc(input, core_.clock().now() - span, kStatisticSamples);
  std::int64_t sums[5] = {};
  for (const auto& s : samples) {
    const std::int64_t i = Quantize8(s.real());
    const std::int64_t q = Quantize8(s.imag());
    sums[0] += i;
    sums[1] += q;
    sums[2] += i * i;
    sums[3] += q * q;
    sums[4] += i * q;
  }
  for (std::size_t k = 0; k < statistics_.size(); ++k) statistics_[k] = sums[k];
}

void CalibrationEngines::reset() {
  indirect_.fill(0);
  statistics_.fill(0);
  dcocDone_.reset();
  dcCalibrated_ = false;
  measurements_ = 0;
}

}  // namespace kqa::chip
