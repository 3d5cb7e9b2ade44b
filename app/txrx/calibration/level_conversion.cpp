#include "app/txrx/calibration/level_conversion.h"

namespace kqa::txrx {

std::int16_t LevelConversion(std::uint16_t x) {
  // Normalise 16x into [32768, 65535] with a binary exponent e.
  std::int64_t y = 16 * static_cast<std::int64_t>(x);
  int e = -4;
  if (y < 32768) {
    do {
      --e;
      if (e < -20) return kLevelOutOfRange;
      y *= 2;
    } while (y < 32768);
  } else if (y > 65535) {
    do {
      ++e;
      if (e > 20) return kLevelOutOfRange;
      y /= 2;
    } while (y > 65535);
  }
  // The mantissa's logarithm, piecewise linear in two segments.
  std::int64_t m = y < 47105 ? y + (y >> 3) + (y >> 4) - 38400 : y - (y >> 3) - (y >> 6) - 23040;
  if (m < 0) m = 0;
  const std::int64_t z = (e + 15) * 32768 + m;
  return static_cast<std::int16_t>((6 * z + (z >> 6) + (z >> 7)) >> 10);
}

}  // namespace kqa::txrx
