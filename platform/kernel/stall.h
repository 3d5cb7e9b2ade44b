#pragma once

#include <chrono>

#include "platform/clock/clock.h"

namespace kqa::kernel {

// KeStallExecutionProcessor: a short wait that is allowed at any level. It
// goes through the clock so that tests spend virtual time on it.
inline void StallExecutionProcessor(Clock& clock, std::chrono::microseconds duration) {
  clock.sleep(duration);
}

}  // namespace kqa::kernel
