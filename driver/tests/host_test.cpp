// The in-process host: interface instances, handles, and concurrent use of
// one handle while completions run on the chip's own thread.
#include "driver/host/driver_host.h"

#include <gtest/gtest.h>

#include <chrono>

#include <atomic>
#include <thread>

#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"
#include "platform/usb/emulated/emulated_backend.h"
#include "platform/usb/emulated/emulated_device.h"
#include "platform/usb/testing/fake_device_model.h"
#include "platform/usb/testing/fake_usb_backend.h"

namespace kqa::driver {
namespace {

using namespace kqa::ioctl;
using usb::testing::FakeDeviceModel;

std::vector<std::uint8_t> Words(std::initializer_list<std::uint32_t> words) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t word : words)
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  return bytes;
}

std::uint32_t Word(const std::uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::uint32_t ReadRegister(DeviceHandle& handle, std::uint16_t address) {
  std::uint8_t value[4] = {};
  handle.control(VQ_OID_USB_VENDOR_MAC_READ, Words({address}), value);
  return Word(value);
}

TEST(DriverHostTest, InstancesAreTheStartedDevicesInArrivalOrder) {
  VirtualClock clock;
  FakeDeviceModel first;
  FakeDeviceModel second;
  second.setRegister(0x0000, 0x5EC70002);
  auto failures = std::make_shared<kernel::WorkQueue>();
  auto one = std::make_shared<usb::EmulatedUsbDevice>(first, clock, failures);
  auto two = std::make_shared<usb::EmulatedUsbDevice>(second, clock, failures);
  usb::testing::FakeUsbBackend backend;
  backend.plug(one);
  backend.plug(two);
  DriverHost host(backend, clock);
  EXPECT_EQ(host.interfaces().size(), 2u);

  auto opened = host.open(kQaInterfaceClass, 1);
  ASSERT_NE(opened.handle, nullptr);
  EXPECT_EQ(opened.path, host.interfaces()[1]);
  EXPECT_EQ(ReadRegister(*opened.handle, 0), 0x5EC70002u);
  EXPECT_EQ(host.open(kQaInterfaceClass, 2).failure, DeviceInterfaceProvider::OpenFailure::NoInstance);

  one->markGone();
  backend.unplug(one);
  backend.waitHotplugIdle();
  ASSERT_EQ(host.interfaces().size(), 1u);
  EXPECT_EQ(host.interfaces()[0], opened.path);  // the second is instance 0 now
  // Opening the class in lower case finds it too; it is open already.
  EXPECT_EQ(host.open("{9c4d2a71-3b8e-4f06-a15d-7e2c90b46f13}", 0).error, ERROR_SHARING_VIOLATION);
}

TEST(DriverHostTest, AHandleOutlivingTheHostAnswers1167AndClosesCleanly) {
  VirtualClock clock;
  FakeDeviceModel chip;
  usb::EmulatedUsbBackend backend(chip, clock);
  std::unique_ptr<DeviceHandle> handle;
  {
    DriverHost host(backend, clock);
    handle = host.open(kQaInterfaceClass, 0).handle;
    ASSERT_NE(handle, nullptr);
    std::uint8_t two[2] = {0, 0};
    handle->control(VQ_OID_USB_RX0_START, two, {});
  }
  std::uint8_t value[4];
  const auto result = handle->control(VQ_OID_USB_VENDOR_MAC_READ, Words({0}), value);
  EXPECT_EQ(result.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(result.bytesReturned, 0u);
  handle.reset();  // the close cancels the receive transfer; the driver unloads
  EXPECT_EQ(chip.pendingBulk(FakeDeviceModel::kBulkIn0), 0u);
}

// Several client threads and the chip's completion thread at once; what
// matters most here is what the thread sanitizer sees.
TEST(DriverHostTest, ClientsAndCompletionRoutinesRunConcurrently) {
  VirtualClock clock;
  FakeDeviceModel chip;
  chip.setOutSink(true);  // OUT transfers complete at once on the chip's thread
  usb::EmulatedUsbBackend backend(chip, clock);
  DriverHost host(backend, clock);
  auto handle = host.open(kQaInterfaceClass, 0).handle;
  ASSERT_NE(handle, nullptr);

  for (std::uint32_t pipe : {0u, 1u, 4u}) {
    auto load = Words({pipe, 1496});
    load.resize(8 + 1496, 0x3C);
    handle->control(VQ_OID_USB_TX_LOAD_PACKET, load, {});
  }
  handle->control(VQ_OID_USB_TX_START, Words({0, 0x13, 18, 0, 0}), {});
  handle->control(VQ_OID_USB_CAPTURE_START, {}, {});

  std::atomic<bool> failed{false};
  auto client = [&](std::uint16_t address) {
    std::uint32_t lastTotal = 0;
    for (std::uint32_t i = 0; i < 200; ++i) {
      handle->control(VQ_OID_USB_VENDOR_MAC_WRITE, Words({address, i, 0}), {});
      if (ReadRegister(*handle, address) != i) failed = true;
      std::uint8_t counters[44];
      handle->control(VQ_OID_USB_QUERY_TX_COUNTERS, {}, counters);
      if (Word(counters) < lastTotal) failed = true;
      lastTotal = Word(counters);
    }
  };
  constexpr std::uint32_t kTransfers = 300;
  std::thread feeder([&] {
    for (std::uint32_t i = 0; i < kTransfers;) {
      std::vector<std::uint8_t> transfer(600, static_cast<std::uint8_t>(i));
      std::fill_n(transfer.begin(), 4, 0);  // no records: only the ring sees it
      if (chip.completeIn(FakeDeviceModel::kBulkIn1, transfer)) {
        ++i;
      } else {
        std::this_thread::yield();
      }
    }
  });
  std::uint32_t records = 0;
  std::thread reader([&] {
    std::vector<std::uint8_t> ring(200 * 5120);
    int expected = 0;
    while (records < kTransfers) {
      const auto result = handle->control(VQ_OID_USB_CAPTURE_READ, {}, ring);
      for (std::size_t at = 0; at < result.bytesReturned; at += 5120, ++records) {
        // Whole records, in order, never torn: every body byte is its index.
        const std::uint8_t tag = ring[at + 8];
        if (tag != static_cast<std::uint8_t>(expected++)) failed = true;
        for (std::size_t b = at + 8; b < at + 600; ++b)
          if (ring[b] != tag) failed = true;
      }
      std::this_thread::yield();
    }
  });
  std::thread a(client, 0x2000);
  std::thread b(client, 0x3000);
  a.join();
  b.join();
  feeder.join();
  reader.join();
  EXPECT_FALSE(failed.load());
  EXPECT_EQ(records, kTransfers);
  handle->control(VQ_OID_USB_TX_STOP, {}, {});
  handle.reset();
  chip.flushCompletions();
}

// A counted run's last completion and the next run's start race each other:
// the start must never be lost (the run would wait forever).
TEST(DriverHostTest, BackToBackCountedRunsNeverLoseAStart) {
  VirtualClock clock;
  FakeDeviceModel chip;
  chip.setOutSink(true);
  usb::EmulatedUsbBackend backend(chip, clock);
  DriverHost host(backend, clock);
  auto handle = host.open(kQaInterfaceClass, 0).handle;
  ASSERT_NE(handle, nullptr);
  auto load = Words({0, 96});
  load.resize(8 + 96, 0);
  handle->control(VQ_OID_USB_TX_LOAD_PACKET, load, {});
  for (int run = 0; run < 2000; ++run) {
    handle->control(VQ_OID_USB_TX_START, Words({20, 0x1, 0, 0, 0}), {});
    // The completions run on the fake chip's own thread, which a loaded
    // machine may not schedule for a while: wait on the wall clock, with a
    // bound generous enough that only a lost start can exhaust it.
    std::uint8_t counters[44] = {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Word(counters) < 20 && std::chrono::steady_clock::now() < deadline) {
      handle->control(VQ_OID_USB_QUERY_TX_COUNTERS, {}, counters);
      std::this_thread::yield();
    }
    ASSERT_EQ(Word(counters), 20u) << "run " << run;
  }
  handle.reset();
  chip.flushCompletions();
}

}  // namespace
}  // namespace kqa::driver
