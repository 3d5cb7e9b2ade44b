#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/clock/clock.h"

namespace kqa::chip {

// Keeps the air moving when nobody talks to the chip (threaded mode only):
// a receiver waiting with a bulk IN transfer must get its frames when they
// end, as on a live channel. The ticker calls `step` (which brings the radio
// up to the clock and tells when the next frame may be delivered) whenever
// that moment may have come.
//
// It never sleeps on the Clock: a VirtualClock would run away with the
// sleeps. It looks at the clock again after at most 2 ms of real time while a
// delivery is pending, and waits for notify() while none is.
class AirTicker {
 public:
  using Step = std::function<std::optional<Clock::Duration>()>;

  AirTicker(Clock& clock, Step step);
  ~AirTicker();
  AirTicker(const AirTicker&) = delete;
  AirTicker& operator=(const AirTicker&) = delete;

  // Something changed (reception was switched on): look again.
  void notify();

 private:
  void loop();

  Clock& clock_;
  Step step_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool notified_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kqa::chip
