#include "chip/radio/random.h"

#include <cmath>
#include <numbers>

namespace kqa::chip {

namespace {

std::uint64_t SplitMix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

Random::Random(std::uint64_t seed) {
  for (auto& word : state_) word = SplitMix(seed);
}

std::uint64_t Random::Mix(std::uint64_t a, std::uint64_t b) {
  std::uint64_t x = a ^ Rotl(b, 32) ^ 0x6A09E667F3BCC909ull;
  SplitMix(x);
  return SplitMix(x) ^ b;
}

// xoshiro256**.
std::uint64_t Random::next() {
  const std::uint64_t result = Rotl(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = Rotl(state_[3], 45);
  return result;
}

double Random::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double Random::gaussian() {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  // Box-Muller; 1 - uniform() lies in (0, 1], so the logarithm is finite.
  const double radius = std::sqrt(-2.0 * std::log(1.0 - uniform()));
  const double angle = 2.0 * std::numbers::pi * uniform();
  spare_ = radius * std::sin(angle);
  haveSpare_ = true;
  return radius * std::cos(angle);
}

double Random::exponential(double mean) { return -mean * std::log(1.0 - uniform()); }

std::uint32_t Random::below(std::uint32_t bound) {
  if (bound == 0) return 0;
  return static_cast<std::uint32_t>((next() >> 32) * bound >> 32);
}

}  // namespace kqa::chip
