// The libusb back end on libusb itself, against a scriptable device served
// through emulated usbdevfs (platform/usb/usbfs): hot-plug, the requests,
// transfers completed on libusb's event thread, cancellation, time-outs and
// a device that goes with transfers in flight.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/clock/virtual_clock.h"
#include "platform/usb/libusb/libusb_backend.h"
#include "platform/usb/testing/fake_device_model.h"
#include "platform/usb/usbfs/testing/preloaded_tests.h"
#include "platform/usb/usbfs/umockdev_usb_bus.h"

namespace kqa::usb {
namespace {

using testing::FakeDeviceModel;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr auto kLimit = 5s;  // libusb's threads are real: waits on them are bounded, never slept out

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Hot-plug as the driver's host would see it.
class Listener final : public HotplugListener {
 public:
  void deviceArrived(const std::shared_ptr<UsbDevice>& device) override {
    std::lock_guard lock(mutex_);
    arrived_.push_back(device);
    changed_.notify_all();
  }
  void deviceLeft(const std::shared_ptr<UsbDevice>& device) override {
    std::lock_guard lock(mutex_);
    left_.push_back(device);
    changed_.notify_all();
  }
  // The n-th arrival (from 1), once it has happened.
  std::shared_ptr<UsbDevice> arrival(std::size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kLimit, [&] { return arrived_.size() >= n; });
    return arrived_.size() >= n ? arrived_[n - 1] : nullptr;
  }
  std::shared_ptr<UsbDevice> departure(std::size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kLimit, [&] { return left_.size() >= n; });
    return left_.size() >= n ? left_[n - 1] : nullptr;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    arrived_.clear();
    left_.clear();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<UsbDevice>> arrived_;
  std::vector<std::shared_ptr<UsbDevice>> left_;
};

// The outcome of one transfer, awaited on the test's thread.
struct Outcome {
  std::mutex mutex;
  std::condition_variable done;
  int calls = 0;
  TransferResult result;

  UsbDevice::Completion completion() {
    return [this](TransferResult r) {
      std::lock_guard lock(mutex);
      result = r;
      ++calls;
      done.notify_all();
    };
  }
  TransferResult wait() {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(done.wait_for(lock, kLimit, [this] { return calls > 0; })) << "the transfer never completed";
    return result;
  }
};

class LibusbThroughUsbfs : public ::testing::Test {
 protected:
  void SetUp() override {
    KQA_SKIP_WITHOUT_UMOCKDEV();
    bus_ = std::make_unique<usbfs::UmockdevUsbBus>();
    bus_->serve(model_);
    ASSERT_NE(bus_->deviceNode(), "") << bus_->lastError();
    backend_ = std::make_unique<LibusbBackend>(LibusbOptions{}, clock_);
    backend_->setHotplugListener(&listener_);
    device_ = listener_.arrival(1);
    ASSERT_NE(device_, nullptr);
  }
  void TearDown() override {
    if (backend_) backend_->setHotplugListener(nullptr);
    listener_.clear();
    device_.reset();
    backend_.reset();  // libusb lets go of the node before the bus goes
    bus_.reset();
  }

  void configure() {
    pipes_ = {{0x81, kTransferBulk, 512, 0}, {0x02, kTransferBulk, 512, 0}};
    ASSERT_EQ(device_->selectConfiguration(1, 0, 0, pipes_), TransferStatus::Completed);
  }
  std::string sysfs(const std::string& attribute) const {
    return ReadFile("/sys/bus/usb/devices/1-1/" + attribute);
  }

  FakeDeviceModel model_;
  VirtualClock clock_;
  std::unique_ptr<usbfs::UmockdevUsbBus> bus_;
  Listener listener_;
  std::unique_ptr<LibusbBackend> backend_;
  std::shared_ptr<UsbDevice> device_;
  std::vector<PipeInformation> pipes_;
};

TEST_F(LibusbThroughUsbfs, TheChipArrivesAndTakesControlAndBulkTransfersAndTheStacksRequests) {
  EXPECT_EQ(device_->location(), "usb:1209:0001@1-1");
  EXPECT_EQ(backend_->devices().size(), 1u);
  configure();
  EXPECT_EQ(sysfs("bConfigurationValue"), "1\n");
  EXPECT_EQ(pipes_[0].handle, 0x81);
  EXPECT_EQ(pipes_[1].handle, 0x02);

  model_.setRegister(0x1000, 0x11223344);
  Bytes value(4, 0xEE);
  Outcome read;
  device_->submitControl({kVendorIn, 0x07, 0, 0x1000, 4}, value, 1s, read.completion());
  EXPECT_EQ(read.wait().length, 4u);
  EXPECT_EQ(value, (Bytes{0x44, 0x33, 0x22, 0x11}));
  Bytes written{1, 2, 3, 4};
  Outcome write;
  device_->submitControl({kVendorOut, 0x06, 0, 0x1004, 4}, written, 1s, write.completion());
  EXPECT_TRUE(write.wait().ok());
  EXPECT_EQ(model_.registerValue(0x1004), 0x04030201u);
  Bytes kept(2, 0xEE);
  Outcome stalled;
  device_->submitControl({kStandardInDevice, 0x42, 0, 0, 2}, kept, 1s, stalled.completion());
  EXPECT_EQ(stalled.wait().status, TransferStatus::Stall);
  EXPECT_EQ(kept, Bytes(2, 0xEE));  // a failed read leaves the caller's bytes alone

  Bytes out{5, 6, 7};
  Outcome sent;
  device_->submitBulk(0x02, out, sent.completion());
  Bytes carried;
  for (auto deadline = std::chrono::steady_clock::now() + kLimit;
       !model_.completeOut(0x02, &carried) && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::yield();  // the URB reaches the chip through umockdev's thread
  EXPECT_EQ(carried, out);
  EXPECT_EQ(sent.wait().length, 3u);

  Bytes in(64, 0);
  Outcome received;
  device_->submitBulk(0x81, in, received.completion());
  for (auto deadline = std::chrono::steady_clock::now() + kLimit;
       !model_.completeIn(0x81, Bytes{9, 8, 7}) && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::yield();
  EXPECT_EQ(received.wait().length, 3u);
  EXPECT_EQ(Bytes(in.begin(), in.begin() + 3), (Bytes{9, 8, 7}));

  PortStatus port;
  EXPECT_EQ(device_->getPortStatus(port), TransferStatus::Completed);
  EXPECT_TRUE(port.connected && port.enabled);
  clock_.advance(1234ms);
  FrameInfo frame;
  ASSERT_EQ(device_->getFrameInfo(frame), TransferStatus::Completed);
  EXPECT_EQ(frame.frameNumber, 1234u);  // one frame per millisecond of the back end's clock
  EXPECT_EQ(frame.frameLength, 12000u);
  BusInformation busInfo;
  ASSERT_EQ(device_->getBusInformation(busInfo), TransferStatus::Completed);
  EXPECT_EQ(busInfo.totalBandwidth, 480000u);  // sysfs says 480 Mbit/s
  EXPECT_EQ(busInfo.controllerName, "libusb bus 1");
  EXPECT_EQ(device_->resetPort(), TransferStatus::Completed);
}

TEST_F(LibusbThroughUsbfs, CancelledAndUnansweredTransfersEndWithTheirStatusExactlyOnce) {
  configure();
  Bytes in(64);
  Outcome cancelled;
  const auto id = device_->submitBulk(0x81, in, cancelled.completion());
  device_->cancel(id);
  EXPECT_EQ(cancelled.wait().status, TransferStatus::Cancelled);
  device_->cancel(id);        // finished: ignored
  device_->cancel(id + 100);  // unknown: ignored

  // The chip never answers this request: libusb gives up after the time-out.
  model_.failRequest(0x07, TransferStatus::Timeout);
  Bytes value(4);
  Outcome silent;
  const auto started = std::chrono::steady_clock::now();
  device_->submitControl({kVendorIn, 0x07, 0, 0, 4}, value, 50ms, silent.completion());
  EXPECT_EQ(silent.wait().status, TransferStatus::Timeout);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);

  // A burst of OUT transfers that the chip completes at once, racing their submission.
  model_.setOutSink(true);
  std::vector<std::unique_ptr<Outcome>> burst;
  Bytes packet(16, 0x5A);
  for (int i = 0; i < 200; ++i) {
    burst.push_back(std::make_unique<Outcome>());
    device_->submitBulk(0x02, packet, burst.back()->completion());
  }
  for (auto& outcome : burst) EXPECT_EQ(outcome->wait().length, 16u);
  for (auto& outcome : burst) EXPECT_EQ(outcome->calls, 1);
}

TEST_F(LibusbThroughUsbfs, AnUnpluggedChipEndsItsTransfersWithNoDeviceAndComesBackAsANewDevice) {
  configure();
  Bytes in(64);
  Outcome inFlight;
  device_->submitBulk(0x81, in, inFlight.completion());
  model_.detach();
  EXPECT_EQ(inFlight.wait().status, TransferStatus::NoDevice);
  EXPECT_EQ(listener_.departure(1), device_);
  EXPECT_TRUE(backend_->devices().empty());

  PortStatus port{true, true};
  EXPECT_EQ(device_->getPortStatus(port), TransferStatus::Completed);
  EXPECT_FALSE(port.connected);
  Bytes value(4);
  Outcome control;
  device_->submitControl({kVendorIn, 0x07, 0, 0, 4}, value, 1s, control.completion());
  EXPECT_EQ(control.calls, 1);  // failed at once, inside the call
  EXPECT_EQ(control.result.status, TransferStatus::NoDevice);
  Outcome bulk;
  device_->submitBulk(0x81, in, bulk.completion());
  EXPECT_EQ(bulk.wait().status, TransferStatus::NoDevice);
  FrameInfo frame;
  EXPECT_EQ(device_->getFrameInfo(frame), TransferStatus::NoDevice);
  EXPECT_EQ(device_->resetPort(), TransferStatus::NoDevice);

  model_.attach();
  auto again = listener_.arrival(2);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, device_);
  std::vector<PipeInformation> pipes = {{0x81, kTransferBulk, 512, 0}};
  EXPECT_EQ(again->selectConfiguration(1, 0, 0, pipes), TransferStatus::Completed);
  Outcome read;
  again->submitControl({kVendorIn, 0x07, 0, 0, 4}, value, 1s, read.completion());
  EXPECT_TRUE(read.wait().ok());
}

TEST_F(LibusbThroughUsbfs, ReleasingTheConfigurationLeavesTheChipUnconfiguredAsTheEmulatedStackDoes) {
  configure();
  ASSERT_EQ(sysfs("bConfigurationValue"), "1\n");
  EXPECT_EQ(device_->deconfigure(), TransferStatus::Completed);
  EXPECT_EQ(sysfs("bConfigurationValue"), "");
  // The next open configures it again, which resets the chip's endpoints.
  configure();
  EXPECT_EQ(sysfs("bConfigurationValue"), "1\n");
}

TEST_F(LibusbThroughUsbfs, AChipThatCannotBeOpenedIsReportedWithLibusbsReason) {
  backend_->setHotplugListener(nullptr);
  device_.reset();
  backend_.reset();
  // sysfs shows the chip, but its node is no device node at all: libusb
  // finds the chip and cannot open it.
  const std::string node = bus_->rootDir() + bus_->deviceNode();
  ASSERT_EQ(::unlink(node.c_str()), 0);
  ASSERT_EQ(::mkdir(node.c_str(), 0755), 0);
  backend_ = std::make_unique<LibusbBackend>(LibusbOptions{}, clock_);
  EXPECT_TRUE(backend_->devices().empty());
  EXPECT_EQ(backend_->lastOpenError(), "LIBUSB_ERROR_IO");
}

}  // namespace
}  // namespace kqa::usb
