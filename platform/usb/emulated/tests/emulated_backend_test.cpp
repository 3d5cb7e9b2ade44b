#include "platform/usb/emulated/emulated_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock/virtual_clock.h"
#include "platform/kernel/event.h"
#include "platform/usb/testing/fake_device_model.h"

namespace kqa::usb {
namespace {

using testing::FakeDeviceModel;
using namespace std::chrono_literals;

class RecordingListener final : public HotplugListener {
 public:
  void deviceArrived(const std::shared_ptr<UsbDevice>& device) override { events.push_back({true, device}); }
  void deviceLeft(const std::shared_ptr<UsbDevice>& device) override { events.push_back({false, device}); }
  std::vector<std::pair<bool, std::shared_ptr<UsbDevice>>> events;  // hot-plug thread, read after waitHotplugIdle
};

struct Bench {
  VirtualClock clock;
  FakeDeviceModel model;
  EmulatedUsbBackend backend{model, clock};
  RecordingListener listener;

  std::shared_ptr<UsbDevice> device() {
    auto devices = backend.devices();
    return devices.empty() ? nullptr : devices.front();
  }
  ~Bench() { backend.setHotplugListener(nullptr); }
};

TransferResult Control(UsbDevice& device, SetupPacket setup, std::span<std::uint8_t> data,
                       Clock::Duration timeout = 1s) {
  TransferResult result;
  bool done = false;
  device.submitControl(setup, data, timeout, [&](TransferResult r) {
    result = r;
    done = true;
  });
  EXPECT_TRUE(done) << "the emulated stack completes control transfers at once";
  return result;
}

TEST(EmulatedBackendTest, FollowsTheChipsAttachStateWithANewDeviceEachTime) {
  Bench bench;
  bench.backend.setHotplugListener(&bench.listener);
  ASSERT_EQ(bench.listener.events.size(), 1u);  // present at start
  const auto first = bench.listener.events[0].second;
  EXPECT_TRUE(bench.listener.events[0].first);

  bench.model.detach();
  bench.backend.waitHotplugIdle();
  ASSERT_EQ(bench.listener.events.size(), 2u);
  EXPECT_FALSE(bench.listener.events[1].first);
  EXPECT_EQ(bench.listener.events[1].second, first);
  EXPECT_TRUE(bench.backend.devices().empty());

  bench.model.attach();
  bench.backend.waitHotplugIdle();
  ASSERT_EQ(bench.listener.events.size(), 3u);
  EXPECT_NE(bench.listener.events[2].second, first);

  // The old attachment stays dead although the chip is back.
  std::uint8_t data[4] = {};
  const SetupPacket read{kVendorIn, 0x07, 0, 0, 4};
  EXPECT_EQ(Control(*first, read, data).status, TransferStatus::NoDevice);
  PortStatus port;
  first->getPortStatus(port);
  EXPECT_FALSE(port.connected);
  EXPECT_EQ(Control(*bench.device(), read, data).status, TransferStatus::Completed);
}

TEST(EmulatedBackendTest, AFailedReadLeavesTheCallersBytesAndATimeOutCostsVirtualTime) {
  Bench bench;
  auto device = bench.device();
  std::uint8_t data[4] = {0xAA, 0xBB, 0xCC, 0xDD};
  const SetupPacket read{kVendorIn, 0x07, 0, 0x0000, 4};
  bench.model.failRequest(0x07, TransferStatus::Stall);
  EXPECT_EQ(Control(*device, read, data).status, TransferStatus::Stall);
  EXPECT_EQ(data[0], 0xAA);
  EXPECT_EQ(data[3], 0xDD);

  bench.model.failRequest(0x07, TransferStatus::Timeout);
  EXPECT_EQ(Control(*device, read, data, 1s).status, TransferStatus::Timeout);
  EXPECT_EQ(bench.clock.now(), Clock::Duration(1s));

  const auto ok = Control(*device, read, data);
  EXPECT_EQ(ok.length, 4u);
  EXPECT_EQ(data[3], 0x5E);  // identity 0x5EC70001, little-endian
}

TEST(EmulatedBackendTest, BulkCompletesOnceEvenWhenCancelledOrUnableToStart) {
  Bench bench;
  auto device = bench.device();
  std::vector<std::uint8_t> buffer(64);
  std::atomic<int> completions{0};
  std::atomic<TransferStatus> last{TransferStatus::Completed};
  kernel::Event done;
  auto completion = [&](TransferResult r) {
    last = r.status;
    ++completions;
    done.set();
  };

  const auto id = device->submitBulk(FakeDeviceModel::kBulkIn0, buffer, completion);
  EXPECT_EQ(completions.load(), 0);
  device->cancel(id);
  done.wait();
  EXPECT_EQ(last.load(), TransferStatus::Cancelled);

  done.reset();
  const std::uint8_t bytes[] = {1, 2, 3};
  device->submitBulk(FakeDeviceModel::kBulkIn0, buffer, completion);
  ASSERT_TRUE(bench.model.completeIn(FakeDeviceModel::kBulkIn0, bytes));
  EXPECT_EQ(last.load(), TransferStatus::Completed);
  EXPECT_EQ(buffer[2], 3);

  // Gone: the completion still comes, but not inside submitBulk.
  done.reset();
  bench.model.detach();
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> inline_{false};
  device->submitBulk(FakeDeviceModel::kBulkOut[0], buffer, [&](TransferResult r) {
    inline_ = std::this_thread::get_id() == caller;
    completion(r);
  });
  done.wait();
  EXPECT_FALSE(inline_.load());
  EXPECT_EQ(last.load(), TransferStatus::NoDevice);
  EXPECT_EQ(completions.load(), 3);
}

TEST(EmulatedBackendTest, FrameNumberCountsMillisecondsOfTheClock) {
  Bench bench;
  bench.clock.advance(1234ms);
  FrameInfo info;
  ASSERT_EQ(bench.device()->getFrameInfo(info), TransferStatus::Completed);
  EXPECT_EQ(info.frameNumber, 1234u);
  EXPECT_EQ(info.frameLength, 12000u);
}

}  // namespace
}  // namespace kqa::usb
