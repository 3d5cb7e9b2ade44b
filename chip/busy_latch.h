#pragma once

#include <functional>

#include "platform/clock/clock.h"

namespace kqa::chip {

// The busy bit of one of the chip's serial engines (BBP, RF, RF serial,
// eFuse). An operation starts, shows busy until its time on the clock has
// passed and a given number of status reads have seen it busy, and then
// finishes: its effect (`finish`) happens then, not at the start. A stuck
// fault keeps it busy for as long as the fault holds.
class BusyLatch {
 public:
  using Duration = Clock::Duration;

  // Starts an operation; it may finish at once (no time, no reads, not stuck).
  void start(Duration now, Duration duration, int busyReads, bool stuck,
             std::function<void()> finish);

  // A status read by the host: counts the read, finishes the operation when
  // it is due, and tells whether the busy bit reads 1.
  bool poll(Duration now, bool stuck);

  // Finishes the operation when it is due by time alone (any other access to
  // the engine's registers); counts no read.
  void settle(Duration now, bool stuck);

  bool busy() const { return static_cast<bool>(finish_); }

  // Power-on: forgets any operation in progress.
  void reset() { finish_ = nullptr; }

 private:
  void complete();

  std::function<void()> finish_;  // set while an operation is in progress
  Duration due_{};
  int readsLeft_ = 0;
};

}  // namespace kqa::chip
