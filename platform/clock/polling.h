#pragma once


#include "platform/clock/clock.h"

namespace kqa {

struct PollResult {
  bool satisfied = false;  // the condition held on the last attempt
  int attempts = 0;        // how many times the condition was evaluated
};

// Bounded polling, the way the hardware waits are written: evaluate `done` up
// to `maxAttempts` times, stopping at the first true. After every attempt that
// fails, sleep `interval` on the clock (also after the last one when
// `sleepAfterLast` is set, which is how loops that "sleep after each read that
// still shows busy" behave). A zero interval polls back to back.
template <class Condition>
PollResult PollUntil(Clock& clock, int maxAttempts, Clock::Duration interval, Condition&& done,
                     bool sleepAfterLast = false) {
  PollResult result;
  while (result.attempts < maxAttempts) {
    ++result.attempts;
    if (done()) {
      result.satisfied = true;
      return result;
    }
    const bool last = result.attempts == maxAttempts;
    if (interval > Clock::Duration::zero() && (!last || sleepAfterLast)) clock.sleep(interval);
  }
  return result;
}

}  // namespace kqa
