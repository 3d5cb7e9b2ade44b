#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/semaphore.h"
#include "platform/kernel/spin_lock.h"

namespace kqa::kernel {
namespace {

// Four threads, each `rounds` times inside `section`.
template <class Section>
void Hammer(int rounds, Section section) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < rounds; ++i) section();
    });
  for (auto& thread : threads) thread.join();
}

TEST(SemaphoreTest, LimitOneAdmitsOneHolderAtATime) {
  Semaphore semaphore(1, 1);
  std::atomic<int> inside{0};
  std::atomic<int> mostInside{0};
  Hammer(200, [&] {
    semaphore.wait();
    const int now = ++inside;
    int seen = mostInside.load();
    while (now > seen && !mostInside.compare_exchange_weak(seen, now)) {
    }
    --inside;
    semaphore.release();
  });
  EXPECT_EQ(mostInside.load(), 1);
}

TEST(SpinLockTest, ProtectsAPlainCounterAtDispatchLevel) {
  SpinLock lock;
  long counter = 0;  // deliberately not atomic: the lock alone must protect it
  Hammer(10000, [&] {
    SpinLockGuard guard(lock);
    ++counter;
  });
  EXPECT_EQ(counter, 40000);
  EXPECT_FALSE(AtDispatchLevel());
  {
    SpinLockGuard guard(lock);
    EXPECT_TRUE(AtDispatchLevel());
  }
  EXPECT_FALSE(AtDispatchLevel());
}

TEST(KernelDeathTest, ReleasingASemaphorePastItsLimitOrWaitingAtDispatchLevelIsABugCheck) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Semaphore semaphore(1, 1);
  EXPECT_DEATH(semaphore.release(), "STATUS_SEMAPHORE_LIMIT_EXCEEDED");
  SpinLock lock;
  Event event(true);
  EXPECT_DEATH(
      {
        SpinLockGuard guard(lock);
        event.wait();
      },
      "IRQL_NOT_LESS_OR_EQUAL");
}

TEST(NonPagedPoolTest, RefusesWhatExceedsItsLargestAllocationAndZeroFills) {
  NonPagedPool pool(1024);
  EXPECT_EQ(pool.allocate(1025), nullptr);
  auto block = pool.allocate(1024);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(std::all_of(block.get(), block.get() + 1024, [](auto b) { return b == 0; }));
}

}  // namespace
}  // namespace kqa::kernel
