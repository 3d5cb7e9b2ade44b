#include "chip/radio/air_ticker.h"

#include <algorithm>
#include <chrono>

namespace kqa::chip {

namespace {

constexpr Clock::Duration kLongestLook = std::chrono::milliseconds(2);
constexpr Clock::Duration kShortestLook = std::chrono::microseconds(100);

}  // namespace

AirTicker::AirTicker(Clock& clock, Step step) : clock_(clock), step_(std::move(step)) {
  thread_ = std::thread([this] { loop(); });
}

AirTicker::~AirTicker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void AirTicker::notify() {
  {
    std::lock_guard lock(mutex_);
    notified_ = true;
  }
  changed_.notify_all();
}

void AirTicker::loop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    notified_ = false;
    lock.unlock();
    const auto due = step_();  // takes the chip's lock: never while holding ours
    const auto now = clock_.now();
    lock.lock();
    const auto woken = [this] { return stopping_ || notified_; };
    if (!due) {
      changed_.wait(lock, woken);
    } else {
      changed_.wait_for(lock, std::clamp(*due - now, kShortestLook, kLongestLook), woken);
    }
  }
}

}  // namespace kqa::chip
