// Plug and play and the open/close rules through the transport.
#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;
using usb::testing::MakeConfigurationDescriptor;
using Failure = DeviceInterfaceProvider::OpenFailure;

TEST_P(DriverTransportTest, UnplugWhileTransfersRunEndsThemAndTheHandleClosesCleanly) {
  call(VQ_OID_USB_RX0_START, {0, 0});
  call(VQ_OID_USB_CAPTURE_START);
  unplug();  // pending transfers complete with NoDevice
  chip_.flushCompletions();
  EXPECT_EQ(call(VQ_OID_USB_CAPTURE_STOP).result.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(provider_->open(kQaInterfaceClass, 0).failure, Failure::NoInstance);
  close();
  replug();
  open();
  call(VQ_OID_USB_RX0_START, {0, 0});
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);
}

TEST_P(DriverTransportTest, ASecondOpenIsRefusedAndLeavesTheFirstUntouched) {
  call(VQ_OID_USB_RX0_START, {0, 0});
  const auto second = provider_->open(kQaInterfaceClass, 0);
  EXPECT_EQ(second.handle, nullptr);
  EXPECT_EQ(second.failure, Failure::OpenFailed);
  EXPECT_EQ(second.error, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);  // the first handle's pipe still runs
  close();
  open();
}

TEST_P(DriverTransportTest, AChipThatNeverComesUpFailsTheOpenOrIsNotOffered) {
  close();
  chip_.clearLog();
  chip_.queueReads(0x0000, std::vector<std::uint32_t>(501, 0xFFFFFFFF));
  const auto before = clock_.now();
  const auto failed = provider_->open(kQaInterfaceClass, 0);
  EXPECT_EQ(failed.handle, nullptr);
  EXPECT_EQ(failed.error, ERROR_GEN_FAILURE);
  std::size_t identityReads = 0;
  for (const auto& record : chip_.vendorLog()) identityReads += record.setup.wIndex == 0 ? 1 : 0;
  EXPECT_EQ(identityReads, 501u);
  EXPECT_GE(clock_.now() - before, Clock::Duration(std::chrono::microseconds(500 * 100)));
  open();  // the failed open undid its set-up
  close();

  // Silent at start: the device is never offered.
  unplug();
  chip_.queueReads(0x0000, std::vector<std::uint32_t>(501, 0));
  replug();
  EXPECT_EQ(provider_->open(kQaInterfaceClass, 0).failure, Failure::NoInstance);
  EXPECT_EQ(provider_->open("{00000000-0000-0000-0000-000000000000}", 0).failure, Failure::UnknownClass);
  unplug();
  replug();  // answers now
  open();
}

TEST_P(DriverTransportTest, WithoutBulkEndpointsTheOpenSucceedsAndThePipelinesStartNothing) {
  close();
  const std::pair<std::uint8_t, std::uint8_t> interruptOnly[] = {{0x83, 3}};
  chip_.setConfigurationDescriptor(MakeConfigurationDescriptor(interruptOnly));
  open();
  load(0, std::vector<std::uint8_t>(96, 0));
  txStart(1, 0x1);
  call(VQ_OID_USB_RX0_START, {0, 0});
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)) + chip_.pendingBulk(inEndpoint(0)), 0u);
}

}  // namespace
}  // namespace kqa::driver::testing
