#include "cli/lasting_activity.h"

#include <algorithm>
#include <iterator>

#include "app/device/text_format.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

constexpr LastingActivity kActivities[] = {
    {ioctl::VQ_OID_USB_TX_START, ioctl::VQ_OID_USB_TX_STOP, "the TX run"},
    {ioctl::VQ_OID_USB_RX0_START, ioctl::VQ_OID_USB_RX0_STOP, "reception on IN pipe 0"},
    {ioctl::VQ_OID_USB_RX1_START, ioctl::VQ_OID_USB_RX1_STOP, "reception on IN pipe 1"},
    {ioctl::VQ_OID_USB_CAPTURE_START, ioctl::VQ_OID_USB_CAPTURE_STOP, "the capture into the driver's ring"},
};

}  // namespace

const LastingActivity* ActivityStartedBy(std::uint32_t code) {
  const auto* found = std::find_if(std::begin(kActivities), std::end(kActivities),
                                   [code](const LastingActivity& a) { return a.startCode == code; });
  return found == std::end(kActivities) ? nullptr : found;
}

std::string EndsWithProcessNote(const LastingActivity& activity) {
  return device::Format("note: %.*s runs in the driver inside this process and ends when this command does; "
                        "to keep it running for later commands, start kestrelqa-usbd and use --device socket",
                        static_cast<int>(activity.name.size()), activity.name.data());
}

ActivityWaitResult WaitForActivity(Clock& clock, const ActivityWait& wait,
                                   const std::function<std::optional<std::uint64_t>()>& progress,
                                   const std::function<void(std::uint64_t)>& onProgress) {
  using End = ActivityWaitResult::End;
  ActivityWaitResult result;
  const Clock::Duration start = clock.now();
  Clock::Duration lastMove = start;
  for (bool first = true;; first = false) {
    const Clock::Duration now = clock.now();
    result.waited = now - start;
    const std::optional<std::uint64_t> value = progress();
    if (!value) {
      result.end = End::Failed;
      return result;
    }
    if (first || *value != result.last) lastMove = now;
    result.last = *value;
    if (onProgress) onProgress(*value);
    if (wait.count && *value >= *wait.count) {
      result.end = End::Count;
      return result;
    }
    if (wait.duration && result.waited >= *wait.duration) {
      result.end = End::Duration;
      return result;
    }
    if (wait.count && wait.stalledAfter && now - lastMove >= *wait.stalledAfter) {
      result.end = End::Stalled;
      return result;
    }
    // The last sleep ends exactly at the duration, not an interval past it.
    Clock::Duration pause = wait.interval;
    if (wait.duration) pause = std::min(pause, *wait.duration - result.waited);
    clock.sleep(pause);
  }
}

}  // namespace kqa::cli
