#pragma once

#include <cstdint>

namespace kqa::txrx {

// The chip's fixed-point level conversion D(x) of a TSSI difference: a
// logarithm in steps of about 1/64 dB (D(2x) is D(x) + 192), of an unsigned
// 16-bit x (a negative difference wraps). D(0) and values out of the
// converter's range give -10000.
inline constexpr std::int16_t kLevelOutOfRange = -10000;
std::int16_t LevelConversion(std::uint16_t x);

}  // namespace kqa::txrx
