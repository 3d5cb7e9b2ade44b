#include "platform/kernel/event.h"

#include <algorithm>
#include <chrono>

#include "platform/kernel/irql.h"

namespace kqa::kernel {

void Event::set() {
  // Notify while holding the lock: a waiter that wakes may destroy the event
  // (it is often a local of the waiting function) as soon as the lock is free.
  std::lock_guard lock(mutex_);
  signaled_ = true;
  changed_.notify_all();
}

void Event::reset() {
  std::lock_guard lock(mutex_);
  signaled_ = false;
}

bool Event::isSet() const {
  std::lock_guard lock(mutex_);
  return signaled_;
}

void Event::wait() {
  RequirePassiveLevel("KeWaitForSingleObject");
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return signaled_; });
}

bool Event::waitUntil(Clock& clock, Clock::Duration deadline) {
  RequirePassiveLevel("KeWaitForSingleObject");
  constexpr Clock::Duration kRecheck = std::chrono::milliseconds(1);
  std::unique_lock lock(mutex_);
  while (!signaled_) {
    const Clock::Duration now = clock.now();
    if (now >= deadline) return false;
    changed_.wait_for(lock, std::min(deadline - now, kRecheck));
  }
  return true;
}

}  // namespace kqa::kernel
