#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/kernel/event.h"
#include "platform/kernel/interlocked.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/semaphore.h"
#include "platform/kernel/spin_lock.h"

namespace kqa::kernel {
namespace {

TEST(SemaphoreTest, LimitOneAdmitsOneHolderAtATime) {
  Semaphore semaphore(1, 1);
  std::atomic<int> inside{0};
  std::atomic<int> mostInside{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        semaphore.wait();
        const int now = ++inside;
        int seen = mostInside.load();
        while (now > seen && !mostInside.compare_exchange_weak(seen, now)) {
        }
        --inside;
        semaphore.release();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mostInside.load(), 1);
}

TEST(SemaphoreDeathTest, ReleasingPastTheLimitIsABugCheck) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Semaphore semaphore(1, 1);
  EXPECT_DEATH(semaphore.release(), "STATUS_SEMAPHORE_LIMIT_EXCEEDED");
}

TEST(SpinLockTest, ProtectsAPlainCounter) {
  SpinLock lock;
  long counter = 0;  // deliberately not atomic: the lock alone must protect it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        SpinLockGuard guard(lock);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 40000);
}

TEST(SpinLockTest, HoldingItRaisesToDispatchLevel) {
  SpinLock lock;
  EXPECT_FALSE(AtDispatchLevel());
  {
    SpinLockGuard guard(lock);
    EXPECT_TRUE(AtDispatchLevel());
  }
  EXPECT_FALSE(AtDispatchLevel());
}

TEST(SpinLockDeathTest, WaitingWhileHoldingASpinLockIsABugCheck) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SpinLock lock;
  Event event(true);
  EXPECT_DEATH(
      {
        SpinLockGuard guard(lock);
        event.wait();
      },
      "IRQL_NOT_LESS_OR_EQUAL");
}

TEST(InterlockedTest, CompareExchangeReturnsTheValueFound) {
  std::atomic<std::int32_t> value{0};
  EXPECT_EQ(InterlockedCompareExchange(value, 1, 0), 0);
  EXPECT_EQ(value.load(), 1);
  EXPECT_EQ(InterlockedCompareExchange(value, 5, 0), 1);  // not 0: unchanged
  EXPECT_EQ(value.load(), 1);
  EXPECT_EQ(InterlockedDecrement(value), 0);
}

TEST(NonPagedPoolTest, RefusesWhatExceedsItsLargestAllocationAndZeroFills) {
  NonPagedPool pool(1024);
  EXPECT_EQ(pool.allocate(1025), nullptr);
  auto block = pool.allocate(1024);
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(block[i], 0);
}

}  // namespace
}  // namespace kqa::kernel
