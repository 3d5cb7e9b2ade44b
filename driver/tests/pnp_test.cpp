// Plug and play, power and open/close at the driver's own entry points, with
// the device state in view.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "driver/tests/driver_harness.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::driver::testing {
namespace {

using ioctl::VQ_OID_USB_VENDOR_MAC_READ;

NtStatus Send(DriverHarness& harness, IrpMajor major) {
  Irp irp;
  irp.MajorFunction = major;
  return IoCallDriver(*harness.device, irp);
}

TEST(DriverPnpTest, ADeviceServesOnlyBetweenStartAndRemoval) {
  DriverHarness harness;
  EXPECT_EQ(harness.dx().InterfaceName, harness.io.registered);
  EXPECT_FALSE(harness.io.enabled);
  EXPECT_EQ(harness.readMac().status, STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(harness.create(), STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(Send(harness, IrpMajor::SystemControl), STATUS_DEVICE_NOT_CONNECTED);

  // The identity may take a few reads to come (100 us apart).
  harness.chip.queueReads(0x0000, {0, 0xFFFFFFFF, 0x5EC70002});
  ASSERT_EQ(harness.pnp(PnpMinor::StartDevice), STATUS_SUCCESS);
  EXPECT_TRUE(harness.io.enabled);
  EXPECT_EQ(harness.dx().AsicVersion, 0x5EC70002u);
  EXPECT_EQ(harness.clock.totalSlept(), Clock::Duration(std::chrono::microseconds(200)));
  EXPECT_EQ(Send(harness, IrpMajor::SystemControl), STATUS_SUCCESS);
  EXPECT_EQ(Send(harness, IrpMajor::Power), STATUS_SUCCESS);
  EXPECT_EQ(Send(harness, IrpMajor::Read), STATUS_INVALID_DEVICE_REQUEST);

  harness.pnp(PnpMinor::SurpriseRemoval);
  harness.pnp(PnpMinor::RemoveDevice);
  EXPECT_FALSE(harness.io.enabled);
  EXPECT_TRUE(harness.io.deleted);

  DriverHarness unplugged;
  unplugged.chip.detach();  // the lower drivers' failure comes back unchanged
  EXPECT_EQ(unplugged.pnp(PnpMinor::StartDevice), STATUS_NO_SUCH_DEVICE);
}

TEST(DriverPnpTest, QueryRemoveIsRefusedWhileAHandleIsOpen) {
  DriverHarness harness;
  harness.pnp(PnpMinor::StartDevice);
  ASSERT_EQ(harness.create(), STATUS_SUCCESS);
  EXPECT_EQ(harness.pnp(PnpMinor::QueryRemoveDevice), STATUS_UNSUCCESSFUL);
  EXPECT_EQ(harness.readMac().status, STATUS_SUCCESS);

  harness.close();
  EXPECT_EQ(harness.pnp(PnpMinor::QueryRemoveDevice), STATUS_SUCCESS);
  EXPECT_EQ(harness.create(), STATUS_DEVICE_NOT_CONNECTED);
  harness.pnp(PnpMinor::CancelRemoveDevice);
  EXPECT_EQ(harness.create(), STATUS_SUCCESS);

  EXPECT_EQ(harness.pnp(PnpMinor::QueryStopDevice), STATUS_SUCCESS);
  EXPECT_EQ(harness.readMac().status, STATUS_DEVICE_NOT_CONNECTED);
  harness.pnp(PnpMinor::CancelStopDevice);
  EXPECT_EQ(harness.readMac().status, STATUS_SUCCESS);
}

TEST(DriverPnpTest, ARequestInProgressFinishesBeforeAStopIsPassedDown) {
  DriverHarness harness;
  harness.pnp(PnpMinor::StartDevice);
  ASSERT_EQ(harness.create(), STATUS_SUCCESS);
  auto hold = harness.chip.holdNextRequest(0x07);

  DriverHarness::Reply inProgress;
  std::thread request([&] { inProgress = harness.readMac(); });
  hold->entered.wait();
  std::atomic<NtStatus> stopped{STATUS_PENDING};
  std::thread stop([&] { stopped = harness.pnp(PnpMinor::StopDevice); });
  // The stop marks the device as removing before it waits; this ends at once in practice.
  while (harness.dx().Removing.load() != 1) std::this_thread::yield();

  // The stop waits; a new request fails at once.
  EXPECT_EQ(stopped.load(), STATUS_PENDING);
  EXPECT_EQ(harness.readMac().status, STATUS_DEVICE_NOT_CONNECTED);
  hold->release();
  request.join();
  stop.join();
  EXPECT_EQ(inProgress.status, STATUS_SUCCESS);
  EXPECT_EQ(inProgress.output.size(), 4u);
  EXPECT_EQ(stopped.load(), STATUS_SUCCESS);
  EXPECT_EQ(harness.dx().Started.load(), 0);
  EXPECT_EQ(harness.dx().IoCount.load(), 1);

  // Started again, the handle is served again.
  EXPECT_EQ(harness.pnp(PnpMinor::StartDevice), STATUS_SUCCESS);
  EXPECT_EQ(harness.readMac().output.size(), 4u);
}

TEST(DriverPnpTest, WithoutMemoryForTheRingTheOpenSucceedsButNotWithoutItsPipes) {
  DriverHarness harness;
  harness.pnp(PnpMinor::StartDevice);
  harness.pool.setLargestAllocation(50000);  // less than one pipe buffer
  EXPECT_EQ(harness.create(), STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(harness.dx().OpenCount.load(), 0);
  EXPECT_FALSE(harness.dx().ConfigurationHandle.has_value());

  harness.pool.setLargestAllocation(1 << 20);  // the pipes, not the ring
  ASSERT_EQ(harness.create(), STATUS_SUCCESS);
  EXPECT_EQ(harness.control(ioctl::VQ_OID_USB_CAPTURE_AVAILABLE, {}, 4).output,
            std::vector<std::uint8_t>(4, 0));
  harness.control(ioctl::VQ_OID_USB_CAPTURE_START);
  ASSERT_TRUE(
      harness.chip.completeIn(usb::testing::FakeDeviceModel::kBulkIn1, std::vector<std::uint8_t>(200, 0x11)));
  EXPECT_EQ(harness.control(ioctl::VQ_OID_USB_CAPTURE_READ, {}, 5120).output.size(), 0u);
}

}  // namespace
}  // namespace kqa::driver::testing
