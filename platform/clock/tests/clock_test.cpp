#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/clock/polling.h"
#include "platform/clock/virtual_clock.h"

using namespace std::chrono_literals;

namespace kqa {
namespace {

TEST(VirtualClock, SleepAdvancesTimeAtOnceAndThreadsShareOneTimeLine) {
  VirtualClock clock;
  const auto realStart = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) clock.sleepMs(10);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(clock.now(), 3s);
  EXPECT_EQ(clock.sleepCount(), 300u);
  EXPECT_EQ(clock.totalSlept(), 3s);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, 1s);

  clock.advance(500ms);
  EXPECT_EQ(clock.now(), 3500ms);
  EXPECT_EQ(clock.totalSlept(), 3s) << "advance is not a sleep";
}

TEST(PollUntil, SleepsBetweenAttemptsUntilSuccessOrTheBound) {
  struct Case {
    int succeedAt;  // 0: never
    Clock::Duration interval;
    bool sleepAfterLast;
    bool satisfied;
    int attempts;
    Clock::Duration elapsed;
    std::size_t sleeps;
  };
  const Case cases[] = {{4, 5ms, false, true, 4, 15ms, 3},
                        {0, 2ms, false, false, 100, 198ms, 99},
                        {0, 2ms, true, false, 100, 200ms, 100},
                        {0, 0ms, false, false, 100, 0ms, 0}};
  for (const Case& c : cases) {
    VirtualClock clock;
    int reads = 0;
    const PollResult result =
        PollUntil(clock, 100, c.interval, [&] { return ++reads == c.succeedAt; }, c.sleepAfterLast);
    EXPECT_EQ(result.satisfied, c.satisfied);
    EXPECT_EQ(result.attempts, c.attempts);
    EXPECT_EQ(reads, c.attempts);
    EXPECT_EQ(clock.now(), c.elapsed);
    EXPECT_EQ(clock.sleepCount(), c.sleeps);
  }
}

}  // namespace
}  // namespace kqa
