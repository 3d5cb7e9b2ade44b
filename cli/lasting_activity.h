#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock/clock.h"

namespace kqa::cli {

// An activity a control code starts in the driver and that runs until its
// stop code or until the driver's handle closes: a TX run, reception on an
// IN pipe, the capture ring. With the driver in this process the handle
// closes when the command ends, and so does the activity; through
// kestrelqa-usbd it runs on for the next command.
struct LastingActivity {
  std::uint32_t startCode;
  std::uint32_t stopCode;
  std::string_view name;  // "the TX run"
};

// The activity `code` starts, or nullptr.
const LastingActivity* ActivityStartedBy(std::uint32_t code);

// What a command that started `activity` with the driver in its own process
// says, so that nobody waits for a run that ended with the command.
std::string EndsWithProcessNote(const LastingActivity& activity);

// How long a command that watches an activity waits: for a duration, until
// a count is reached, or both (whichever comes first). Without either it
// waits until the activity fails or stalls.
struct ActivityWait {
  std::optional<Clock::Duration> duration{};
  std::optional<std::uint64_t> count{};
  Clock::Duration interval = std::chrono::seconds(1);  // how often progress is asked
  // Ends the wait when the count has not moved for this long (a TX run that
  // cannot send); only with a count.
  std::optional<Clock::Duration> stalledAfter{};
};

struct ActivityWaitResult {
  enum class End { Count, Duration, Stalled, Failed };
  End end = End::Failed;
  std::uint64_t last = 0;        // the last progress value read
  Clock::Duration waited{};      // on the clock
};

// Asks `progress` at once and then every interval, sleeping on `clock`,
// until it reaches `wait.count`, `wait.duration` has passed, the count
// stalls, or progress fails (nullopt: the device is gone, or the counter
// cannot be read). Each value read is passed to `onProgress` when given (a
// live line). For `tx start --count N` (progress: frames sent) and
// `rx stats --seconds S` (progress: seconds of statistics read).
ActivityWaitResult WaitForActivity(Clock& clock, const ActivityWait& wait,
                                   const std::function<std::optional<std::uint64_t>()>& progress,
                                   const std::function<void(std::uint64_t)>& onProgress = {});

}  // namespace kqa::cli
