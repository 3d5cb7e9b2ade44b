#include "platform/kernel/event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock/virtual_clock.h"

namespace kqa::kernel {
namespace {

using std::chrono::seconds;

TEST(EventTest, StaysSetUntilResetReleasesEveryWaiterAndEndsATimedWaitAtTheVirtualDeadline) {
  Event event;
  std::thread first([&] { event.wait(); });
  std::thread second([&] { event.wait(); });
  event.set();
  first.join();
  second.join();
  EXPECT_TRUE(event.isSet());
  event.reset();
  EXPECT_FALSE(event.isSet());

  // A timed wait ends at the virtual deadline or as soon as the event is set.
  VirtualClock clock;
  std::thread setter([&] { event.set(); });
  EXPECT_TRUE(event.waitUntil(clock, clock.now() + seconds(1)));
  setter.join();
  EXPECT_EQ(clock.now(), VirtualClock::Duration::zero());  // no time spent

  event.reset();
  const auto deadline = clock.now() + seconds(1);
  std::thread timeKeeper([&] { clock.advance(seconds(2)); });
  EXPECT_FALSE(event.waitUntil(clock, deadline));
  timeKeeper.join();
  EXPECT_GE(clock.now(), deadline);

  event.set();  // a set event is seen even after the deadline
  EXPECT_TRUE(event.waitUntil(clock, seconds(1)));
}

}  // namespace
}  // namespace kqa::kernel
