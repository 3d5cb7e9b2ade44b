#include "platform/clock/virtual_clock.h"

namespace kqa {

void VirtualClock::sleep(Duration duration) {
  sleeps_.fetch_add(1, std::memory_order_acq_rel);
  if (duration <= Duration::zero()) return;
  slept_.fetch_add(duration.count(), std::memory_order_acq_rel);
  nanos_.fetch_add(duration.count(), std::memory_order_acq_rel);
}

void VirtualClock::advance(Duration duration) {
  if (duration > Duration::zero()) nanos_.fetch_add(duration.count(), std::memory_order_acq_rel);
}

}  // namespace kqa
