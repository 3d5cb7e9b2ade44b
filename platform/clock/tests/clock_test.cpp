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

TEST(VirtualClock, SleepAdvancesTimeAtOnce) {
  VirtualClock clock;
  const auto realStart = std::chrono::steady_clock::now();
  for (int i = 0; i < 300; ++i) clock.sleepMs(10);
  EXPECT_EQ(clock.now(), 3s);
  EXPECT_EQ(clock.sleepCount(), 300u);
  EXPECT_EQ(clock.totalSlept(), 3s);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, 1s);

  clock.advance(500ms);
  EXPECT_EQ(clock.now(), 3500ms);
  EXPECT_EQ(clock.totalSlept(), 3s) << "advance is not a sleep";
}

TEST(VirtualClock, ThreadsShareOneTimeLine) {
  VirtualClock clock;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) clock.sleepUs(100);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(clock.now(), 400ms);
}

TEST(SystemClock, IsMonotonicAndSleeps) {
  Clock& clock = SystemClock();
  const auto before = clock.now();
  clock.sleep(1ms);
  EXPECT_GE(clock.now() - before, 1ms);
}

TEST(PollUntil, StopsAtFirstSuccessAndSleepsBetweenFailures) {
  VirtualClock clock;
  int reads = 0;
  const PollResult result = PollUntil(clock, 200, 5ms, [&] { return ++reads == 4; });
  EXPECT_TRUE(result.satisfied);
  EXPECT_EQ(result.attempts, 4);
  EXPECT_EQ(clock.now(), 15ms);
}

TEST(PollUntil, GivesUpAfterTheBoundAndSleepsAfterLastOnlyWhenAsked) {
  VirtualClock clock;
  int reads = 0;
  PollResult result = PollUntil(clock, 100, 2ms, [&] { return ++reads < 0; });
  EXPECT_FALSE(result.satisfied);
  EXPECT_EQ(result.attempts, 100);
  EXPECT_EQ(reads, 100);
  EXPECT_EQ(clock.now(), 198ms);

  VirtualClock other;
  result = PollUntil(other, 100, 2ms, [] { return false; }, /*sleepAfterLast=*/true);
  EXPECT_EQ(other.now(), 200ms);
}

TEST(PollUntil, ZeroIntervalPollsBackToBackWithoutSleeping) {
  VirtualClock clock;
  const PollResult result = PollUntil(clock, 10, 0ms, [] { return false; });
  EXPECT_EQ(result.attempts, 10);
  EXPECT_EQ(clock.sleepCount(), 0u);
}

}  // namespace
}  // namespace kqa
