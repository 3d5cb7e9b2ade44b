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
  // Written on the hot-plug thread, read after waitHotplugIdle.
  std::vector<std::pair<bool, std::shared_ptr<UsbDevice>>> events;
};

class EmulatedBackendTest : public ::testing::Test {
 protected:
  std::shared_ptr<UsbDevice> device() { return backend.devices().at(0); }
  // A 4-byte vendor read of the identity register.
  TransferResult readIdentity(UsbDevice& device, std::uint8_t (&data)[4]) {
    TransferResult result{TransferStatus::Error, 0};
    device.submitControl({kVendorIn, 0x07, 0, 0, 4}, data, 1s, [&](TransferResult r) { result = r; });
    return result;  // the emulated stack completes control transfers at once
  }

  VirtualClock clock;
  FakeDeviceModel model;
  EmulatedUsbBackend backend{model, clock};
};

TEST_F(EmulatedBackendTest, FollowsTheChipsAttachStateWithANewDeviceEachTime) {
  RecordingListener listener;
  backend.setHotplugListener(&listener);
  model.detach();
  backend.waitHotplugIdle();
  EXPECT_TRUE(backend.devices().empty());
  model.attach();
  backend.waitHotplugIdle();
  backend.setHotplugListener(nullptr);
  ASSERT_EQ(listener.events.size(), 3u);  // present at start, gone, back
  const auto first = listener.events[0].second;
  EXPECT_EQ(listener.events[1], std::make_pair(false, first));
  EXPECT_TRUE(listener.events[2].first);
  EXPECT_NE(listener.events[2].second, first);

  // The old attachment stays dead although the chip is back.
  std::uint8_t data[4] = {};
  EXPECT_EQ(readIdentity(*first, data).status, TransferStatus::NoDevice);
  PortStatus port;
  first->getPortStatus(port);
  EXPECT_FALSE(port.connected);
  EXPECT_EQ(readIdentity(*device(), data).status, TransferStatus::Completed);
}

// That a failed read leaves the caller's bytes and a time-out sleeps on the
// clock is checked through the driver's end-to-end tests.
TEST_F(EmulatedBackendTest, BulkCompletesOnceEvenWhenCancelledOrUnplugged) {
  auto bulk = device();
  std::vector<std::uint8_t> buffer(64);
  std::vector<TransferStatus> seen;  // in completion order
  kernel::Event done;
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> inline_{false};
  auto completion = [&](TransferResult r) {
    inline_ = inline_ || std::this_thread::get_id() == caller;
    seen.push_back(r.status);
    done.set();
  };
  auto wait = [&] {
    done.wait();
    done.reset();
  };

  bulk->cancel(bulk->submitBulk(FakeDeviceModel::kBulkIn0, buffer, completion));
  wait();
  bulk->submitBulk(FakeDeviceModel::kBulkIn0, buffer, completion);
  model.detach();  // the pending transfer ends with NoDevice
  wait();
  bulk->submitBulk(FakeDeviceModel::kBulkOut[0], buffer, completion);  // gone: completes, but not inline
  wait();
  EXPECT_EQ(seen, (std::vector<TransferStatus>{TransferStatus::Cancelled, TransferStatus::NoDevice,
                                               TransferStatus::NoDevice}));
  EXPECT_FALSE(inline_.load());
}

}  // namespace
}  // namespace kqa::usb
