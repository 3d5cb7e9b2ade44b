#include "platform/clock/virtual_clock.h"

#include <thread>

namespace kqa {

void VirtualClock::sleep(Duration duration) {
  sleeps_.fetch_add(1, std::memory_order_acq_rel);
  if (duration <= Duration::zero()) return;
  slept_.fetch_add(duration.count(), std::memory_order_acq_rel);
  nanos_.fetch_add(duration.count(), std::memory_order_acq_rel);
  // A polling loop on virtual time may wait for a real thread (the driver's
  // send thread, the chip's completions): let it run.
  std::this_thread::yield();
}

void VirtualClock::advance(Duration duration) {
  if (duration > Duration::zero()) nanos_.fetch_add(duration.count(), std::memory_order_acq_rel);
}

}  // namespace kqa
