#pragma once

#include <atomic>
#include <thread>

#include "platform/kernel/irql.h"

namespace kqa::kernel {

// A spin lock (KSPIN_LOCK). Holding it raises the thread to dispatch level
// (KeAcquireSpinLockRaiseToDpc), so waiting while holding it is a bug check.
// Critical sections are a few field updates or one bounded copy.
class SpinLock {
 public:
  void acquire() {
    RaiseToDispatchLevel();
    int spins = 0;
    while (locked_.exchange(true, std::memory_order_acquire)) {
      while (locked_.load(std::memory_order_relaxed)) {
        if (++spins > 64) std::this_thread::yield();
      }
    }
  }
  void release() {
    locked_.store(false, std::memory_order_release);
    LowerFromDispatchLevel();
  }

 private:
  std::atomic<bool> locked_{false};
};

// Holds a spin lock for a scope.
class SpinLockGuard {
 public:
  explicit SpinLockGuard(SpinLock& lock) : lock_(lock) { lock_.acquire(); }
  ~SpinLockGuard() { lock_.release(); }
  SpinLockGuard(const SpinLockGuard&) = delete;
  SpinLockGuard& operator=(const SpinLockGuard&) = delete;

 private:
  SpinLock& lock_;
};

}  // namespace kqa::kernel
