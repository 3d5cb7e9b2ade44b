#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/device_context.h"

namespace kqa::measure {

// One run of the baseband's signal statistics (4096 samples): means,
// standard deviations and the I-Q covariance, in ADC units.
struct SignalStatistics {
  double mi = 0;
  double mq = 0;
  double si = 0;
  double sq = 0;
  double cross = 0;
};

// The phase error the statistics show, in degrees: asin(cross / (Si Sq)).
double PhaseAngle(const SignalStatistics& statistics);
// The gain error term 2 (1 - r) / (1 + r), r = Sq / Si.
double GainTerm(const SignalStatistics& statistics);

// Statistic k (0..4) from its four bytes, most significant first: b3 << 24
// as a signed 32-bit number plus the rest; for k = 0, 1 and 4 a value of 2^23
// or more has 2^24 taken off (the engine's 24-bit sums).
double StatisticValue(int k, std::uint8_t b3, std::uint8_t b2, std::uint8_t b1, std::uint8_t b0);

// Proposed register values (shown, never written).
double ProposedR40(double gain);    // floor(0.5 - gain x 128)
double ProposedR41(double phase);   // floor(0.5 - phase x 4)
int ProposedDelayRegister(double groupDelay);  // floor(group delay x 10 + 0.5): R42 and R53

// What a calibration leaves in the page's fields.
struct IqCalibrationResult {
  SignalStatistics last;  // "mi" ... "cross iq"
  double theta0 = 0;      // "theta_0", "theta_1" (the group delay calibrations)
  double theta1 = 0;
  double gain = 0;        // "gain", "phase" ("Rx IQ Cal.")
  double phase = 0;
  double groupDelay = 0;  // "group delay"
  double r40 = 0;         // "Cal R40=", "Cal R41="
  double r41 = 0;
  int delayRegister = 0;  // "Cal R42=" ("Grpdly Cal.") or "Cal R53=" ("Rx Grpdly Cal.")
  int measurements = 0;
};

enum class IqCalibrationKind { RxIq, RxGroupDelay, GroupDelay };

// One of the page's fields, by its caption ("mi", "theta_0", "Cal R40=", ...),
// with its text: "%.3f", the delay registers "%d".
struct IqField {
  std::string_view caption;
  std::string text;
};
// The fields a calibration fills, in the page's order: the statistics of its
// last measurement, then "gain", "phase", "Cal R40=", "Cal R41=" (RxIq) or
// "theta_0", "theta_1", "group delay" and "Cal R53=" (RxGroupDelay) or
// "Cal R42=" (GroupDelay).
std::vector<IqField> IqCalibrationFields(const IqCalibrationResult& result, IqCalibrationKind kind);

// The IQ calibration page's three buttons, without their widgets. Each runs
// to its end on the calling thread; `stop` (may be null) ends it after the
// current measurement, with the averages over the measurements made.
// `onMeasurement` hears each measurement as it comes (the page's fields).
class IqCalibration {
 public:
  using Listener = std::function<void(const IqCalibrationResult& sofar)>;

  explicit IqCalibration(device::DeviceContext& device) : device_(device) {}

  // One statistics run: starts the engine and reads the five statistics.
  SignalStatistics measure();

  // "Rx IQ Cal.": 40 measurements on the 9.375 and 3.125 MHz test tones;
  // gain, phase, R40 and R41.
  IqCalibrationResult rxIq(const std::atomic<bool>* stop = nullptr, const Listener& onMeasurement = {});
  // "Rx Grpdly Cal.": 100 pairs; group delay in ns and R53.
  IqCalibrationResult rxGroupDelay(const std::atomic<bool>* stop = nullptr, const Listener& onMeasurement = {});
  // "Grpdly Cal.": the same pairs, scaled for R42.
  IqCalibrationResult groupDelay(const std::atomic<bool>* stop = nullptr, const Listener& onMeasurement = {});
  // One of the three by kind.
  IqCalibrationResult run(IqCalibrationKind kind, const std::atomic<bool>* stop = nullptr,
                          const Listener& onMeasurement = {});
  // How many measurements a calibration makes (40, 200, 200).
  static int MeasurementsOf(IqCalibrationKind kind);

 private:
  IqCalibrationResult delayPairs(double scale, const std::atomic<bool>* stop, const Listener& onMeasurement);
  void bbpWrite(std::uint8_t id, std::uint8_t value);
  std::uint8_t bbpRead(std::uint8_t id);
  std::uint8_t indirectRead(std::uint8_t address);
  void indirectWrite(std::uint8_t address, std::uint8_t value);
  double statistic(int k);

  device::DeviceContext& device_;
};

}  // namespace kqa::measure
