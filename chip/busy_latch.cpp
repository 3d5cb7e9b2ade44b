#include "chip/busy_latch.h"

#include <utility>

namespace kqa::chip {

void BusyLatch::start(Duration now, Duration duration, int busyReads, bool stuck,
                      std::function<void()> finish) {
  finish_ = std::move(finish);
  due_ = now + duration;
  readsLeft_ = busyReads;
  settle(now, stuck);
}

bool BusyLatch::poll(Duration now, bool stuck) {
  if (!busy()) return false;
  if (stuck) return true;
  if (readsLeft_ > 0) {
    --readsLeft_;
    return true;
  }
  if (now < due_) return true;
  complete();
  return false;
}

void BusyLatch::settle(Duration now, bool stuck) {
  if (busy() && !stuck && readsLeft_ == 0 && now >= due_) complete();
}

void BusyLatch::complete() {
  auto finish = std::exchange(finish_, nullptr);
  finish();
}

}  // namespace kqa::chip
