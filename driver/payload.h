#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/clock/clock.h"

namespace kqa::driver {

// The arithmetic of the transmit payload modes and of the descriptor sizes,
// free of any device state.

inline constexpr std::uint32_t kModeStamp = 15;    // stamp every frame
inline constexpr std::uint32_t kModeRandom = 17;   // random length and payload
inline constexpr std::uint32_t kModeGrowing = 18;  // length grows by 4 per frame

// Transmit (h) and receive (r) descriptor sizes for a chip identity.
struct DescriptorSizes {
  std::size_t transmit;
  std::size_t receive;
};
DescriptorSizes DescriptorSizesFor(std::uint32_t asicVersion);

// The payload generator: a 32-bit Galois LFSR. Draw(n) collects n output
// bits, the first one ending up as the most significant.
std::uint32_t LfsrStep(std::uint32_t& state);  // returns the output bit
std::uint32_t LfsrDraw(std::uint32_t& state, int bits);
// The generator's seed at open: the low 32 bits of the time in 100 ns units,
// or 1 when those are 0 (an all-zero state would only ever give zeros).
std::uint32_t LfsrSeed(Clock::Duration now);

// Length of an OUT pipe's transfer once a multiple of 64 has been moved off
// (a transfer of a multiple of the packet size would need a zero-length
// packet): +8 on pipes 2 and 3 in every mode, +4 elsewhere except in mode 17.
std::uint32_t AdjustedOutLength(std::uint32_t length, int pipe, std::uint32_t mode);
// Mode 17: the transfer length for a 16-bit random number, 52 to 1500.
std::uint32_t RandomFrameLength(std::uint16_t random);
// Mode 18: the length after `current`, back to `base` past 1500.
std::uint32_t GrowingFrameLength(std::uint32_t current, std::uint32_t base);

}  // namespace kqa::driver
