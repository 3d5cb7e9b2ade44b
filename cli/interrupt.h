#pragma once

#include <atomic>

namespace kqa::cli {

// Ctrl+C during a command's measuring loop: while a guard lives, SIGINT
// raises the stop flags the loops read instead of ending the process, so the
// loop ends after its current step and leaves the chip as it should (the
// capture memory given back, the gain restored). A second Ctrl+C while the
// loop winds down is heard the same way. The previous handler comes back
// with the guard's end. One guard at a time.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // Cleared by SIGINT (RunFftCaptures' running flag).
  std::atomic<bool>& running();
  // Raised by SIGINT (the other loops' stop flag).
  const std::atomic<bool>* stop();
  bool interrupted() const;

  // What a SIGINT does, for tests: raises the flags as the handler would.
  static void Interrupt();
};

}  // namespace kqa::cli
