#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "chip/tests/test_host.h"

namespace kqa::chip {
namespace {

using testing::TestHost;
using usb::TransferResult;
using usb::TransferStatus;

constexpr std::uint8_t kIn0 = 0x81;
constexpr std::uint8_t kIn1 = 0x82;
constexpr std::uint8_t kOut = 0x02;

struct Ended {
  int tag;
  TransferStatus status;
  std::size_t length;
  bool operator==(const Ended&) const = default;
};

// Collects completions; safe across threads.
class Collector {
 public:
  usb::UsbDeviceModel::BulkCompletion record(int tag) {
    return [this, tag](TransferResult result) {
      std::lock_guard lock(mutex_);
      results_.push_back({tag, result.status, result.length});
    };
  }
  std::vector<Ended> results() const {
    std::lock_guard lock(mutex_);
    return results_;
  }
  std::size_t count() const { return results().size(); }

 private:
  mutable std::mutex mutex_;
  std::vector<Ended> results_;
};

class SteppedBulk : public ::testing::Test {
 protected:
  VirtualClock clock;
  Kestrel chip{clock, {.completions = Completions::Stepped}};
  TestHost host{chip};
  Collector done;
  std::shared_ptr<QueuedInEndpoint> in0 = std::make_shared<QueuedInEndpoint>([this] { chip.wakeBulkIn(kIn0); });
  std::shared_ptr<RecordingOutEndpoint> out = std::make_shared<RecordingOutEndpoint>();

  void SetUp() override {
    chip.setBulkHandler(kIn0, in0);
    chip.setBulkHandler(kOut, out);
    host.configure();
  }
};

TEST_F(SteppedBulk, OutTransfersCompleteOnlyWhenSteppedAndACompletionMayResubmit) {
  std::vector<std::uint8_t> packet{1, 2, 3, 4, 5};
  int remaining = 3;
  std::function<void(TransferResult)> again = [&](TransferResult result) {
    EXPECT_EQ(result.status, TransferStatus::Completed);
    EXPECT_EQ(result.length, 5u);
    if (--remaining > 0) chip.submitBulk(kOut, packet, again);  // as the driver's pipelines do
  };
  const auto id = chip.submitBulk(kOut, packet, again);
  EXPECT_EQ(remaining, 3) << "never inside submitBulk";
  chip.runUntilIdle();
  chip.cancelBulk(id);  // too late: ignored
  chip.runUntilIdle();
  EXPECT_EQ(remaining, 0);
  EXPECT_EQ(out->transfers(), (std::vector<std::vector<std::uint8_t>>(3, packet)));
}

TEST_F(SteppedBulk, InTransfersWaitForDataAndOverflowWhenItDoesNotFit) {
  std::vector<std::uint8_t> first(8, 0), second(4, 0);
  chip.submitBulk(kIn0, first, done.record(1));
  chip.submitBulk(kIn0, second, done.record(2));
  chip.runUntilIdle();
  EXPECT_EQ(done.count(), 0u) << "nothing to send yet";

  in0->push({0xA1, 0xA2, 0xA3});
  chip.runUntilIdle();
  ASSERT_EQ(done.count(), 1u);
  EXPECT_EQ(done.results()[0], (Ended{1, TransferStatus::Completed, 3}));
  EXPECT_EQ(first[2], 0xA3);

  in0->push({1, 2, 3, 4, 5, 6});
  chip.runUntilIdle();
  ASSERT_EQ(done.count(), 2u);
  EXPECT_EQ(done.results()[1], (Ended{2, TransferStatus::Overflow, 4}));
  EXPECT_EQ(second, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(SteppedBulk, ACancelledTransferCompletesOnceWithCancelledEvenBehindAWaitingOne) {
  std::vector<std::uint8_t> a(8), b(8);
  chip.submitBulk(kIn0, a, done.record(1));
  const auto second = chip.submitBulk(kIn0, b, done.record(2));
  chip.runUntilIdle();
  chip.cancelBulk(second);
  chip.cancelBulk(second);
  chip.cancelBulk(12345);  // unknown: ignored
  EXPECT_EQ(done.count(), 0u) << "cancel returns at once, the completion follows";
  chip.runUntilIdle();
  ASSERT_EQ(done.count(), 1u);
  EXPECT_EQ(done.results()[0], (Ended{2, TransferStatus::Cancelled, 0}));

  in0->push({7});
  chip.runUntilIdle();
  EXPECT_EQ(done.count(), 2u) << "the first one still gets its data";
}

TEST_F(SteppedBulk, UnplugEndsEveryPendingTransferAndHaltedOrUnknownEndpointsFail) {
  std::vector<std::uint8_t> a(8), b(8), c(8);
  chip.submitBulk(kIn0, a, done.record(1));
  chip.submitBulk(kIn1, b, done.record(2));
  chip.unplug();
  chip.submitBulk(kOut, c, done.record(3));
  chip.runUntilIdle();
  ASSERT_EQ(done.count(), 3u);
  for (const Ended& ended : done.results()) EXPECT_EQ(ended.status, TransferStatus::NoDevice) << ended.tag;
  EXPECT_TRUE(out->transfers().empty());

  chip.replug();
  chip.submitBulk(kOut, c, done.record(4));
  chip.runUntilIdle();
  EXPECT_EQ(done.results().back().status, TransferStatus::Error) << "not configured after power-up";
  host.configure();
  chip.submitBulk(kOut, c, done.record(5));
  chip.runUntilIdle();
  EXPECT_EQ(done.results().back().status, TransferStatus::Completed);

  // A halted endpoint stalls until the halt is cleared; an unknown one fails.
  std::vector<std::uint8_t> none;
  host.control(0x02, usb::kSetFeature, 0, kOut, none);
  chip.submitBulk(kOut, c, done.record(6));
  chip.runUntilIdle();
  EXPECT_EQ(done.results().back(), (Ended{6, TransferStatus::Stall, 0}));
  chip.submitBulk(0x07, c, done.record(7));
  chip.runUntilIdle();
  EXPECT_EQ(done.results().back(), (Ended{7, TransferStatus::Error, 0}));
  host.control(0x02, usb::kClearFeature, 0, kOut, none);
  chip.submitBulk(kOut, c, done.record(8));
  chip.runUntilIdle();
  EXPECT_EQ(done.results().back().status, TransferStatus::Completed);
}

// --- The completion thread --------------------------------------------------------

TEST(ThreadedBulk, ConcurrentSubmitsCancelsAndDataCompleteEachTransferExactlyOnce) {
  VirtualClock clock;
  Kestrel chip(clock, {.completions = Completions::Thread});
  TestHost host(chip);
  host.configure();
  auto in0 = std::make_shared<QueuedInEndpoint>([&chip] { chip.wakeBulkIn(kIn0); });
  chip.setBulkHandler(kIn0, in0);

  constexpr int kPerThread = 200;
  std::atomic<int> completions{0};
  std::mutex seenMutex;
  std::map<usb::UsbDeviceModel::TransferId, int> seen;
  std::vector<std::vector<std::uint8_t>> buffers(4 * kPerThread, std::vector<std::uint8_t>(16));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        auto& buffer = buffers[static_cast<std::size_t>(t * kPerThread + i)];
        const std::uint8_t endpoint = t % 2 == 0 ? kIn0 : kOut;
        auto id = std::make_shared<std::atomic<usb::UsbDeviceModel::TransferId>>(0);
        const auto submitted = chip.submitBulk(endpoint, buffer, [&, id](TransferResult) {
          while (id->load() == 0) std::this_thread::yield();  // the id is stored right after submitBulk
          std::lock_guard lock(seenMutex);
          ++seen[id->load()];
          ++completions;
        });
        id->store(submitted);
        if (i % 3 == 0) chip.cancelBulk(submitted);
      }
    });
  }
  std::thread producer([&] {
    for (int i = 0; i < kPerThread; ++i) in0->push({static_cast<std::uint8_t>(i)});
  });
  for (auto& thread : threads) thread.join();
  producer.join();
  chip.runUntilIdle();
  chip.unplug();  // whatever still waits for data ends now
  chip.runUntilIdle();
  EXPECT_EQ(completions.load(), 4 * kPerThread);
  std::lock_guard lock(seenMutex);
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(4 * kPerThread));
  for (const auto& [id, count] : seen) EXPECT_EQ(count, 1) << "transfer " << id;
}

TEST(ThreadedBulk, DestroyingTheChipCompletesWhatIsPendingWithNoDevice) {
  VirtualClock clock;
  Collector done;
  std::vector<std::uint8_t> a(8), b(8);
  {
    Kestrel chip(clock, {.completions = Completions::Thread});
    TestHost host(chip);
    host.configure();
    chip.submitBulk(kIn0, a, done.record(1));
    chip.submitBulk(kIn1, b, done.record(2));
    chip.runUntilIdle();
    EXPECT_EQ(done.count(), 0u);
  }
  ASSERT_EQ(done.count(), 2u);
  for (const Ended& ended : done.results()) EXPECT_EQ(ended.status, TransferStatus::NoDevice) << ended.tag;
}

}  // namespace
}  // namespace kqa::chip
