#pragma once

#include <array>
#include <cstdint>

#include "chip/chip_core.h"

namespace kqa::chip {

// The transmitter's predistortion tables behind BBP R190 (index) and R191
// (data): with R189 bit 7 set, the measured AM/AM buffer (the power
// amplifier's output amplitude for input amplitude i, 0-255); with it clear,
// the correction table the calibration derived (the input amplitude that
// makes output amplitude i on a linear line). R191 writes go to the table
// R189 selects. A write to R186 with bit 5 set runs the calibration: the
// amplifier (a Rapp model, smoothness 2, saturating at 85 % of full scale)
// is measured into the buffer and the table is computed from it. Power-on:
// the buffer reads 0 and the table is the identity.
class Predistortion {
 public:
  static constexpr std::uint8_t kStart = 186;
  static constexpr std::uint8_t kSelect = 189;
  static constexpr std::uint8_t kIndex = 190;
  static constexpr std::uint8_t kData = 191;

  explicit Predistortion(ChipCore& core);

  const std::array<std::uint8_t, 256>& buffer() const { return buffer_; }
  const std::array<std::uint8_t, 256>& table() const { return table_; }
  std::uint64_t calibrations() const { return calibrations_; }
  void reset();

 private:
  std::array<std::uint8_t, 256>& selected();
  void calibrate();

  ChipCore& core_;
  std::array<std::uint8_t, 256> buffer_{};
  std::array<std::uint8_t, 256> table_{};
  std::uint64_t calibrations_ = 0;
};

}  // namespace kqa::chip
