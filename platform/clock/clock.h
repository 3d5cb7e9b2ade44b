#pragma once

#include <chrono>

namespace kqa {

// Every wait on the chip goes through a Clock, so that tests can replace real
// time with virtual time and never sleep to wait out a polling loop.
class Clock {
 public:
  using Duration = std::chrono::nanoseconds;

  virtual ~Clock() = default;

  // Monotonic time since an arbitrary origin fixed for the clock's lifetime.
  virtual Duration now() const = 0;
  virtual void sleep(Duration duration) = 0;

  void sleepMs(int milliseconds) { sleep(std::chrono::milliseconds(milliseconds)); }
  void sleepUs(int microseconds) { sleep(std::chrono::microseconds(microseconds)); }
};

// The process's real clock (steady time, real sleeps).
Clock& SystemClock();

}  // namespace kqa
