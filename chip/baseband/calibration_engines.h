#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "chip/baseband/signal_view.h"
#include "chip/chip_core.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The BBP's calibration and statistics engines behind the indirect pair
// R158 (index) / R159 (data): 256 indirect bytes, stored unless listed.
//
//   index 0     a write with bit 7 set starts the engine in bits 0-6:
//               0x03 RX mismatch, 0x04 TX mismatch, 0x13 signal statistics
//   index 5     the mismatch calibrations leave their verdict in bits 0-1:
//               bit 0 the gain is too low (RX: R66 below 0x08 with the AGC
//               frozen; TX: TX power code below 4), bit 1 the residual DC is
//               too high (no DC-offset calibration since power-on)
//   index 0x1E  which statistic indices 0x1F-0x22 show (0-4)
//   0x1F-0x22   the statistic's bytes, least significant first: over 4096
//               ADC samples, 0 sum I, 1 sum Q, 2 sum I^2, 3 sum Q^2, 4 sum IQ,
//               32-bit two's complement
//   index 0x8C  DC-offset calibration: a write with bit 6 set starts it; bit 6
//               reads 1 for 25 ms, then 0, and the DC at the ADC is down to
//               3 % of what it was
//
// The statistics measure what the ADC sees (receive_chain.h) over the last
// 102.4 us (at 40 MHz), plus the loopback test tone while BBP R244 bits 4-5
// are set: 3.125 MHz x (R244 bits 0-3), at -40 dBm + 20 log10(R241 / 20).
class CalibrationEngines {
 public:
  static constexpr std::uint8_t kIndex = 158;
  static constexpr std::uint8_t kData = 159;
  static constexpr std::size_t kStatisticSamples = 4096;
  static constexpr Clock::Duration kDcocTime = std::chrono::milliseconds(25);

  CalibrationEngines(ChipCore& core, const SignalView& signal);

  bool dcCalibrated() const { return dcCalibrated_; }
  std::optional<TestTone> testTone() const;
  const std::array<std::int64_t, 5>& statistics() const { return statistics_; }
  void reset();

 private:
  std::uint8_t read();
  void write(std::uint8_t value);
  void start(std::uint8_t engine);
  void measure();
  void finishDcoc();

  ChipCore& core_;
  const SignalView& signal_;
  std::array<std::uint8_t, 256> indirect_{};
  std::array<std::int64_t, 5> statistics_{};
  std::optional<Clock::Duration> dcocDone_;
  bool dcCalibrated_ = false;
  std::uint64_t measurements_ = 0;
};

}  // namespace kqa::chip
