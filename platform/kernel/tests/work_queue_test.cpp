#include "platform/kernel/work_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"

namespace kqa::kernel {
namespace {

TEST(WorkQueueTest, RunsItemsInOrderAndFlushAndDestructionWaitForThem) {
  std::vector<int> order;  // touched only by the worker until flush returns
  std::atomic<int> ran{0};
  {
    WorkQueue queue;
    for (int i = 0; i < 50; ++i) queue.queue([&order, i] { order.push_back(i); });
    queue.flush();
    for (int i = 0; i < 20; ++i) queue.queue([&] { ++ran; });
  }
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(ran.load(), 20);
}

TEST(WorkQueueTest, ItemsQueuedAtDispatchLevelRunAtPassiveLevelAndMayWait) {
  WorkQueue queue;
  Event gate;
  std::atomic<bool> ranPassive{false};
  {
    DispatchLevelScope completionRoutine;
    queue.queue([&] {
      gate.wait();
      ranPassive = !AtDispatchLevel();
    });
  }
  gate.set();
  queue.flush();
  EXPECT_TRUE(ranPassive.load());
}

}  // namespace
}  // namespace kqa::kernel
