#include "driver/payload.h"

namespace kqa::driver {
namespace {

constexpr std::uint32_t kLfsrTaps = 0xC000002B;
constexpr std::uint32_t kKestrelFamily = 0x5EC70000;

std::uint32_t RoundUpTo4(std::uint32_t value) { return (value + 3) & ~std::uint32_t{3}; }
std::uint32_t AwayFromMultipleOf64(std::uint32_t length) { return length % 64 == 0 ? length + 8 : length; }

}  // namespace

DescriptorSizes DescriptorSizesFor(std::uint32_t asicVersion) {
  if ((asicVersion & 0xFFFF0000) == kKestrelFamily) return {20, 24};
  return {16, 16};
}

std::uint32_t LfsrStep(std::uint32_t& state) {
  const std::uint32_t out = state & 1;
  state >>= 1;
  if (out) state ^= kLfsrTaps;
  return out;
}

std::uint32_t LfsrDraw(std::uint32_t& state, int bits) {
  std::uint32_t value = 0;
  for (int i = 0; i < bits; ++i) value = (value << 1) | LfsrStep(state);
  return value;
}

std::uint32_t LfsrSeed(Clock::Duration now) {
  const auto seed = static_cast<std::uint32_t>(now.count() / 100);
  return seed != 0 ? seed : 1;
}

std::uint32_t AdjustedOutLength(std::uint32_t length, int pipe, std::uint32_t mode) {
  if (length % 64 != 0) return length;
  if (pipe == 2 || pipe == 3) return length + 8;
  return mode == kModeRandom ? length : length + 4;
}

std::uint32_t RandomFrameLength(std::uint16_t random) {
  std::uint32_t length = random % 1504u + 4;
  if (length < 50) length += 50;
  length = RoundUpTo4(length);
  if (length > 1500) length = 1500;
  return AwayFromMultipleOf64(length);
}

std::uint32_t GrowingFrameLength(std::uint32_t current, std::uint32_t base) {
  std::uint32_t length = current + 4;
  if (length < 50) length = current + 54;
  length = RoundUpTo4(length);
  if (length > 1500) length = base;
  return AwayFromMultipleOf64(length);
}

}  // namespace kqa::driver
