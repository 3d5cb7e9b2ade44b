#include "app/measure/iq_calibration.h"

#include <atomic>
#include <cmath>

#include "app/device/register_access.h"
#include "app/device/text_format.h"

namespace kqa::measure {
namespace {

constexpr std::uint8_t kIndex = 158;
constexpr std::uint8_t kData = 159;
constexpr double kSamples = 4096.0;
constexpr double kPiAsThePageHasIt = 3.14159;
constexpr int kIqPasses = 10;
constexpr int kDelayPasses = 100;
// Per pair: (theta1 - theta0) x scale, theta0 on the 9.375 MHz tone, theta1
// on the 3.125 MHz tone.
constexpr double kRxDelayScale = 25.0 / 3.125 / 18.0;
constexpr double kDelayScale = 100.0 / 3.125 / 18.0 / 3.0;

bool Stopping(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

std::string Fixed3(double value) { return device::Format("%.3f", value); }

}  // namespace

double PhaseAngle(const SignalStatistics& s) {
  return std::asin(s.cross / (s.si * s.sq)) * 180.0 / kPiAsThePageHasIt;
}

double GainTerm(const SignalStatistics& s) {
  const double r = s.sq / s.si;
  return 2.0 * (1.0 - r) / (1.0 + r);
}

double StatisticValue(int k, std::uint8_t b3, std::uint8_t b2, std::uint8_t b1, std::uint8_t b0) {
  const auto high = static_cast<std::int32_t>(static_cast<std::uint32_t>(b3) << 24);
  double value = static_cast<double>(high) + static_cast<double>(b2 << 16) + static_cast<double>(b1 << 8) + b0;
  if ((k == 0 || k == 1 || k == 4) && value >= 8388608.0) value -= 16777216.0;
  return value;
}

double ProposedR40(double gain) { return std::floor(0.5 - gain * 128.0); }
double ProposedR41(double phase) { return std::floor(0.5 - phase * 4.0); }
int ProposedDelayRegister(double groupDelay) { return static_cast<int>(std::floor(groupDelay * 10.0 + 0.5)); }

void IqCalibration::bbpWrite(std::uint8_t id, std::uint8_t value) {
  device::RegisterAccess(device_).AccessBbpRegister(device::kRegisterWrite, id, value);
}

std::uint8_t IqCalibration::bbpRead(std::uint8_t id) {
  std::uint8_t value = 0xFF;
  device::RegisterAccess(device_).AccessBbpRegister(device::kRegisterRead, id, value);
  return value;
}

void IqCalibration::indirectWrite(std::uint8_t address, std::uint8_t value) {
  bbpWrite(kIndex, address);
  bbpWrite(kData, value);
}

std::uint8_t IqCalibration::indirectRead(std::uint8_t address) {
  bbpWrite(kIndex, address);
  return bbpRead(kData);
}

double IqCalibration::statistic(int k) {
  const std::uint8_t b3 = indirectRead(0x22);
  const std::uint8_t b2 = indirectRead(0x21);
  const std::uint8_t b1 = indirectRead(0x20);
  const std::uint8_t b0 = indirectRead(0x1F);
  return StatisticValue(k, b3, b2, b1, b0);
}

SignalStatistics IqCalibration::measure() {
  SignalStatistics s;
  indirectWrite(0x00, 0x93);
  indirectWrite(0x1E, 0);
  s.mi = statistic(0) / kSamples;
  indirectWrite(0x1E, 1);
  s.mq = statistic(1) / kSamples;
  indirectWrite(0x1E, 2);
  s.si = std::sqrt(statistic(2) / kSamples - s.mi * s.mi);
  indirectWrite(0x1E, 3);
  s.sq = std::sqrt(statistic(3) / kSamples - s.mq * s.mq);
  indirectWrite(0x1E, 4);
  s.cross = statistic(4) / kSamples - s.mi * s.mq;
  return s;
}

IqCalibrationResult IqCalibration::rxIq(const std::atomic<bool>* stop, const Listener& onMeasurement) {
  bbpWrite(23, 0x10);
  bbpWrite(65, 0x3D);
  bbpWrite(66, 0x10);
  IqCalibrationResult result;
  double gainSum = 0;
  double phaseSum = 0;
  for (int pass = 0; pass < kIqPasses && !Stopping(stop); ++pass) {
    for (int i = 0; i < 4 && !Stopping(stop); ++i) {
      bbpWrite(241, 20);
      bbpWrite(242, 0x80);
      bbpWrite(244, i < 2 ? 0x33 : 0x31);
      result.last = measure();
      phaseSum += PhaseAngle(result.last);
      gainSum += GainTerm(result.last);
      ++result.measurements;
      if (onMeasurement) onMeasurement(result);
    }
  }
  if (result.measurements == 0) return result;
  result.gain = gainSum / result.measurements;
  result.phase = phaseSum / result.measurements;
  result.r40 = ProposedR40(result.gain);
  result.r41 = ProposedR41(result.phase);
  return result;
}

IqCalibrationResult IqCalibration::delayPairs(double scale, const std::atomic<bool>* stop,
                                              const Listener& onMeasurement) {
  bbpWrite(241, 20);
  bbpWrite(242, 0x80);
  bbpWrite(23, 0x10);
  bbpWrite(66, 0x10);
  IqCalibrationResult result;
  double sum = 0;
  int pairs = 0;
  for (; pairs < kDelayPasses && !Stopping(stop); ++pairs) {
    bbpWrite(244, 0x33);
    result.last = measure();
    result.theta0 = PhaseAngle(result.last);
    bbpWrite(244, 0x31);
    result.last = measure();
    result.theta1 = PhaseAngle(result.last);
    sum += (result.theta1 - result.theta0) * scale;
    result.measurements += 2;
    if (onMeasurement) onMeasurement(result);
  }
  if (pairs == 0) return result;
  result.groupDelay = sum / pairs;
  result.delayRegister = ProposedDelayRegister(result.groupDelay);
  return result;
}

IqCalibrationResult IqCalibration::rxGroupDelay(const std::atomic<bool>* stop, const Listener& onMeasurement) {
  return delayPairs(kRxDelayScale, stop, onMeasurement);
}

IqCalibrationResult IqCalibration::groupDelay(const std::atomic<bool>* stop, const Listener& onMeasurement) {
  return delayPairs(kDelayScale, stop, onMeasurement);
}

}  // namespace kqa::measure

namespace kqa::measure {

std::vector<IqField> IqCalibrationFields(const IqCalibrationResult& result, IqCalibrationKind kind) {
  const SignalStatistics& s = result.last;
  std::vector<IqField> fields = {{"mi", Fixed3(s.mi)}, {"mq", Fixed3(s.mq)},       {"Si", Fixed3(s.si)},
                                 {"Sq", Fixed3(s.sq)}, {"cross iq", Fixed3(s.cross)}};
  if (kind == IqCalibrationKind::RxIq) {
    fields.insert(fields.end(), {{"gain", Fixed3(result.gain)},
                                 {"phase", Fixed3(result.phase)},
                                 {"Cal R40=", Fixed3(result.r40)},
                                 {"Cal R41=", Fixed3(result.r41)}});
    return fields;
  }
  fields.insert(fields.end(), {{"theta_0", Fixed3(result.theta0)},
                               {"theta_1", Fixed3(result.theta1)},
                               {"group delay", Fixed3(result.groupDelay)},
                               {kind == IqCalibrationKind::GroupDelay ? "Cal R42=" : "Cal R53=",
                                std::to_string(result.delayRegister)}});
  return fields;
}

IqCalibrationResult IqCalibration::run(IqCalibrationKind kind, const std::atomic<bool>* stop,
                                       const Listener& onMeasurement) {
  switch (kind) {
    case IqCalibrationKind::RxIq: return rxIq(stop, onMeasurement);
    case IqCalibrationKind::RxGroupDelay: return rxGroupDelay(stop, onMeasurement);
    case IqCalibrationKind::GroupDelay: break;
  }
  return groupDelay(stop, onMeasurement);
}

int IqCalibration::MeasurementsOf(IqCalibrationKind kind) {
  return kind == IqCalibrationKind::RxIq ? kIqPasses * 4 : kDelayPasses * 2;
}

}  // namespace kqa::measure
