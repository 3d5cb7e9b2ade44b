#include "platform/clock/clock.h"

#include <thread>

namespace kqa {
namespace {

class SteadyClock final : public Clock {
 public:
  Duration now() const override {
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - origin_);
  }
  void sleep(Duration duration) override {
    if (duration > Duration::zero()) std::this_thread::sleep_for(duration);
  }

 private:
  std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
};

}  // namespace

Clock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace kqa
