// Activities that end with the process: the note the raw ioctl command adds
// in-process, and the wait the watching commands use, on virtual time.
#include <gtest/gtest.h>

#include "app/device/tests/emulated_rig.h"
#include "cli/lasting_activity.h"
#include "cli/tests/cli_harness.h"
#include "platform/clock/virtual_clock.h"

namespace kqa::cli {
namespace {

using namespace std::chrono_literals;
using End = ActivityWaitResult::End;

TEST(LastingActivity, TheRawIoctlSaysWhenWhatItStartedEndsWithTheCommand) {
  device::testing::EmulatedRig bench;
  // Capture start: stdout stays the call's answer; the note goes to stderr.
  const testing::CliRun start = testing::RunCli(bench.provider(), bench.clock(), {"ioctl", "223668", "--json"});
  EXPECT_EQ(start.exitCode, kExitOk) << start.err;
  EXPECT_EQ(start.out.rfind("{\"code\":2242152,\"codeName\":\"VQ_OID_USB_CAPTURE_START\",\"error\":0,", 0), 0u)
      << start.out;
  EXPECT_NE(start.err.find("kestrelqa-cli: note: the capture into the driver's ring runs in the driver inside "
                           "this process and ends when this command does; to keep it running for later "
                           "commands, start kestrelqa-usbd and use --device socket"),
            std::string::npos)
      << start.err;
  // Reception too; a read, a stop and a refused start (input too short) say nothing.
  EXPECT_NE(testing::RunCli(bench.provider(), bench.clock(), {"ioctl", "223660", "0000"}).err.find("note: "),
            std::string::npos);
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"ioctl", "223670", "--out", "5120"}, {"ioctl", "22366C"}, {"ioctl", "223660", "00"}})
    EXPECT_EQ(testing::RunCli(bench.provider(), bench.clock(), words).err.find("note: "), std::string::npos)
        << words[1];
}

TEST(LastingActivity, AWaitEndsAtItsCountItsDurationAStallOrAFailure) {
  struct Case {
    const char* what;
    ActivityWait wait;
    std::vector<std::optional<std::uint64_t>> values;  // progress, one per poll; the last repeats
    End end;
    std::uint64_t last;
    Clock::Duration waited;
  };
  const std::vector<Case> cases = {
      {"count reached on the third poll", {.count = 25}, {0, 10, 30}, End::Count, 30, 2s},
      {"count reached at once", {.count = 5}, {5}, End::Count, 5, 0s},
      {"duration, the last pause cut to it", {.duration = 2500ms}, {1}, End::Duration, 1, 2500ms},
      {"count first, with a duration", {.duration = 10s, .count = 3}, {1, 2, 3}, End::Count, 3, 2s},
      {"duration first, with a count", {.duration = 3s, .count = 100}, {1, 2}, End::Duration, 2, 3s},
      {"a count that stops moving", {.count = 100, .stalledAfter = 3s}, {4, 7}, End::Stalled, 7, 4s},
      {"the device goes", {.count = 100}, {1, std::nullopt}, End::Failed, 1, 1s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VirtualClock clock;
    std::size_t polls = 0;
    std::vector<std::uint64_t> shown;
    const ActivityWaitResult result = WaitForActivity(
        clock, c.wait, [&] { return c.values[std::min(polls++, c.values.size() - 1)]; },
        [&](std::uint64_t value) { shown.push_back(value); });
    EXPECT_EQ(result.end, c.end);
    EXPECT_EQ(result.last, c.last);
    EXPECT_EQ(result.waited, c.waited);
    EXPECT_EQ(clock.now(), c.waited) << "slept past the end";
    EXPECT_EQ(shown.size(), c.end == End::Failed ? polls - 1 : polls);
  }
}

}  // namespace
}  // namespace kqa::cli
