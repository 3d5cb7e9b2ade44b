// Plug and play, power and open/close at the driver's own entry points, with
// the device state in view.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "driver/tests/driver_harness.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;

std::vector<std::uint8_t> Address(std::uint16_t address) {
  return {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8), 0, 0};
}

// Waits for another thread to reach a state; the state is set before that
// thread blocks, so this ends at once in practice.
template <class Condition>
void WaitUntil(Condition condition) {
  while (!condition()) std::this_thread::yield();
}

TEST(DriverPnpTest, AddDeviceCreatesAnUnstartedBufferedDeviceWithItsInterface) {
  DriverHarness harness;
  EXPECT_EQ(harness.device->DeviceType, FILE_DEVICE_UNKNOWN);
  EXPECT_EQ(harness.device->Flags, DO_BUFFERED_IO | DO_POWER_PAGABLE);
  EXPECT_EQ(harness.dx().InterfaceName, harness.io.registered);
  EXPECT_FALSE(harness.io.enabled);
  EXPECT_EQ(harness.control(VQ_OID_USB_VENDOR_MAC_READ, Address(0), 4).status, STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(harness.create(), STATUS_DEVICE_NOT_CONNECTED);

  ASSERT_EQ(harness.pnp(PnpMinor::StartDevice), STATUS_SUCCESS);
  EXPECT_TRUE(harness.io.enabled);
  EXPECT_EQ(harness.dx().AsicVersion, usb::testing::FakeDeviceModel::kKestrelIdentity);

  harness.pnp(PnpMinor::SurpriseRemoval);
  harness.pnp(PnpMinor::RemoveDevice);
  EXPECT_FALSE(harness.io.enabled);
  EXPECT_TRUE(harness.io.deleted);
}

TEST(DriverPnpTest, StartWaitsForTheChipsIdentityAndFailsWhenItNeverComes) {
  DriverHarness harness;
  harness.chip.queueReads(0x0000, {0, 0xFFFFFFFF, 0x5EC70002});
  EXPECT_EQ(harness.pnp(PnpMinor::StartDevice), STATUS_SUCCESS);
  EXPECT_EQ(harness.dx().AsicVersion, 0x5EC70002u);
  EXPECT_EQ(harness.clock.totalSlept(), Clock::Duration(std::chrono::microseconds(200)));

  DriverHarness silent;
  silent.chip.queueReads(0x0000, std::vector<std::uint32_t>(501, 0xFFFFFFFF));
  EXPECT_EQ(silent.pnp(PnpMinor::StartDevice), STATUS_UNSUCCESSFUL);
  EXPECT_EQ(silent.clock.sleepCount(), 500u);

  DriverHarness unplugged;
  unplugged.chip.detach();  // the lower drivers' failure comes back unchanged
  EXPECT_EQ(unplugged.pnp(PnpMinor::StartDevice), STATUS_NO_SUCH_DEVICE);
}

TEST(DriverPnpTest, QueryRemoveIsRefusedWhileAHandleIsOpen) {
  DriverHarness harness;
  harness.pnp(PnpMinor::StartDevice);
  ASSERT_EQ(harness.create(), STATUS_SUCCESS);
  EXPECT_EQ(harness.pnp(PnpMinor::QueryRemoveDevice), STATUS_UNSUCCESSFUL);
  EXPECT_EQ(harness.control(VQ_OID_USB_VENDOR_MAC_READ, Address(0), 4).status, STATUS_SUCCESS);

  harness.close();
  EXPECT_EQ(harness.pnp(PnpMinor::QueryRemoveDevice), STATUS_SUCCESS);
  EXPECT_EQ(harness.create(), STATUS_DEVICE_NOT_CONNECTED);
  harness.pnp(PnpMinor::CancelRemoveDevice);
  EXPECT_EQ(harness.create(), STATUS_SUCCESS);

  EXPECT_EQ(harness.pnp(PnpMinor::QueryStopDevice), STATUS_SUCCESS);
  EXPECT_EQ(harness.control(VQ_OID_USB_VENDOR_MAC_READ, Address(0), 4).status, STATUS_DEVICE_NOT_CONNECTED);
  harness.pnp(PnpMinor::CancelStopDevice);
  EXPECT_EQ(harness.control(VQ_OID_USB_VENDOR_MAC_READ, Address(0), 4).status, STATUS_SUCCESS);
}

TEST(DriverPnpTest, ARequestInProgressFinishesBeforeAStopIsPassedDown) {
  DriverHarness harness;
  harness.pnp(PnpMinor::StartDevice);
  ASSERT_EQ(harness.create(), STATUS_SUCCESS);
  auto hold = harness.chip.holdNextRequest(0x07);

  DriverHarness::Reply inProgress;
  std::thread request([&] { inProgress = harness.control(VQ_OID_USB_VENDOR_MAC_READ, Address(0), 4); });
  hold->entered.wait();
  std::atomic<NtStatus> stopped{STATUS_PENDING};
  std::thread stop([&] { stopped = harness.pnp(PnpMinor::StopDevice); });
  WaitUntil([&] { return harness.dx().Removing.load() == 1; });

  // The stop waits; a new request fails at once.
  EXPECT_EQ(stopped.load(), STATUS_PENDING);
  EXPECT_EQ(harness.control(VQ_OID_USB_VENDOR_MAC_READ, Address(0), 4).status, STATUS_DEVICE_NOT_CONNECTED);
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
  EXPECT_EQ(harness.control(VQ_OID_USB_VENDOR_MAC_READ, Address(0), 4).output.size(), 4u);
}

TEST(DriverPnpTest, PowerAndSystemControlPassDownAndReadsAreNotServed) {
  DriverHarness harness;
  Irp system;
  system.MajorFunction = IrpMajor::SystemControl;
  EXPECT_EQ(IoCallDriver(*harness.device, system), STATUS_DEVICE_NOT_CONNECTED);  // not started
  harness.pnp(PnpMinor::StartDevice);
  EXPECT_EQ(IoCallDriver(*harness.device, system), STATUS_SUCCESS);
  Irp power;
  power.MajorFunction = IrpMajor::Power;
  EXPECT_EQ(IoCallDriver(*harness.device, power), STATUS_SUCCESS);
  Irp read;
  read.MajorFunction = IrpMajor::Read;
  EXPECT_EQ(IoCallDriver(*harness.device, read), STATUS_INVALID_DEVICE_REQUEST);
}

TEST(DriverPnpTest, WithoutMemoryForTheRingTheOpenSucceedsAndCaptureStaysEmpty) {
  DriverHarness harness;
  harness.pnp(PnpMinor::StartDevice);
  harness.pool.setLargestAllocation(1 << 20);
  ASSERT_EQ(harness.create(), STATUS_SUCCESS);
  EXPECT_EQ(harness.control(VQ_OID_USB_CAPTURE_AVAILABLE, {}, 4).output, (std::vector<std::uint8_t>{0, 0, 0, 0}));
  harness.control(VQ_OID_USB_CAPTURE_START);
  std::vector<std::uint8_t> transfer(200, 0x11);
  ASSERT_TRUE(harness.chip.completeIn(usb::testing::FakeDeviceModel::kBulkIn1, transfer));
  EXPECT_EQ(harness.control(VQ_OID_USB_CAPTURE_READ, {}, 5120).output.size(), 0u);
  harness.control(VQ_OID_USB_CAPTURE_STOP);
}

TEST(DriverPnpTest, AnOpenWithoutMemoryForItsPipesFailsAndLeavesNothingBehind) {
  DriverHarness harness;
  harness.pnp(PnpMinor::StartDevice);
  harness.pool.setLargestAllocation(50000);  // less than one pipe buffer
  EXPECT_EQ(harness.create(), STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(harness.dx().OpenCount.load(), 0);
  EXPECT_FALSE(harness.dx().ConfigurationHandle.has_value());
  harness.pool.setLargestAllocation(kernel::NonPagedPool::kUnlimited);
  EXPECT_EQ(harness.create(), STATUS_SUCCESS);
}

}  // namespace
}  // namespace kqa::driver::testing
