#pragma once

#include <cstdint>

namespace kqa::chip {

// Deterministic random numbers for the air and the receiver. The same seed
// gives the same draws with every compiler and library (the standard
// distributions do not promise that), so a run can be repeated from its seed.
class Random {
 public:
  explicit Random(std::uint64_t seed);

  // Combines a seed with a stream number, e.g. Mix(seed, frameId), so that
  // each source or frame has a stream of its own whatever the order in which
  // they are drawn.
  static std::uint64_t Mix(std::uint64_t a, std::uint64_t b);

  std::uint64_t next();
  double uniform();             // [0, 1)
  double gaussian();            // standard normal
  double exponential(double mean);
  std::uint32_t below(std::uint32_t bound);  // [0, bound); 0 when bound is 0
  std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 56); }

 private:
  std::uint64_t state_[4];
  bool haveSpare_ = false;
  double spare_ = 0.0;
};

}  // namespace kqa::chip
