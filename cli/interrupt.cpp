#include "cli/interrupt.h"

#include <csignal>

namespace kqa::cli {
namespace {

// Lock-free atomics: the only things a signal handler may touch.
std::atomic<bool> gRunning{true};
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  InterruptGuard::Interrupt();
}

struct sigaction gPrevious {};

}  // namespace

InterruptGuard::InterruptGuard() {
  gRunning = true;
  gStop = false;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;  // a control code under way is not cut short
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &gPrevious);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &gPrevious, nullptr);
}

std::atomic<bool>& InterruptGuard::running() {
  return gRunning;
}
const std::atomic<bool>* InterruptGuard::stop() {
  return &gStop;
}
bool InterruptGuard::interrupted() const {
  return gStop.load();
}

void InterruptGuard::Interrupt() {
  gStop = true;
  gRunning = false;
}

}  // namespace kqa::cli
