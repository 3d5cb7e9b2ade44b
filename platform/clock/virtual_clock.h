#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock/clock.h"

namespace kqa {

// Virtual time for tests: sleep() advances the clock at once and returns, so
// a 300 x 10 ms polling loop costs no real time but still shows up as three
// seconds in now(). Safe to share between threads; each sleep simply adds its
// duration to the one shared time line.
class VirtualClock final : public Clock {
 public:
  Duration now() const override { return Duration(nanos_.load(std::memory_order_acquire)); }
  void sleep(Duration duration) override;

  // Moves time forward without counting a sleep (e.g. "a second passes").
  void advance(Duration duration);

  // How many sleeps were asked for, and their total; lets tests check that a
  // loop waited as specified.
  std::uint64_t sleepCount() const { return sleeps_.load(std::memory_order_acquire); }
  Duration totalSlept() const { return Duration(slept_.load(std::memory_order_acquire)); }

 private:
  std::atomic<std::int64_t> nanos_{0};
  std::atomic<std::int64_t> slept_{0};
  std::atomic<std::uint64_t> sleeps_{0};
};

}  // namespace kqa
