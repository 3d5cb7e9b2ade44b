// Plug and play and the open/close rules through the transport.
#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;
using usb::testing::FakeDeviceModel;
using usb::testing::MakeConfigurationDescriptor;
using Provider = DeviceInterfaceProvider;

TEST_P(DriverTransportTest, UnplugWhileTransfersRunEndsThemAndTheHandleClosesCleanly) {
  call(VQ_OID_USB_RX0_START, {0, 0});
  call(VQ_OID_USB_CAPTURE_START);
  unplug();  // pending transfers complete with NoDevice
  chip_.flushCompletions();
  EXPECT_EQ(call(VQ_OID_USB_CAPTURE_STOP).result.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(provider_->open(kQaInterfaceClass, 0).failure, Provider::OpenFailure::NoInstance);
  close();
  replug();
  open();
  call(VQ_OID_USB_RX0_START, {0, 0});
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);
  call(VQ_OID_USB_RX0_STOP);
}

TEST_P(DriverTransportTest, ASecondOpenIsRefusedAndLeavesTheFirstUntouched) {
  call(VQ_OID_USB_RX0_START, {0, 0});
  const auto second = provider_->open(kQaInterfaceClass, 0);
  EXPECT_EQ(second.handle, nullptr);
  EXPECT_EQ(second.failure, Provider::OpenFailure::OpenFailed);
  EXPECT_EQ(second.error, ERROR_SHARING_VIOLATION);
  // The first handle's set-up is intact: its pipe still runs.
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);
  call(VQ_OID_USB_RX0_STOP);
  close();
  open();
}

TEST_P(DriverTransportTest, OpeningASilentChipFailsWithoutBlockingTheNextOpen) {
  close();
  chip_.queueReads(0x0000, std::vector<std::uint32_t>(501, 0xFFFFFFFF));
  chip_.clearLog();
  const auto before = clock_.now();
  const auto failed = provider_->open(kQaInterfaceClass, 0);
  EXPECT_EQ(failed.handle, nullptr);
  EXPECT_EQ(failed.error, ERROR_GEN_FAILURE);
  std::size_t identityReads = 0;
  for (const auto& record : chip_.vendorLog()) identityReads += record.setup.wIndex == 0 ? 1 : 0;
  EXPECT_EQ(identityReads, 501u);
  EXPECT_GE(clock_.now() - before, Clock::Duration(std::chrono::microseconds(500 * 100)));
  open();  // the failed open undid its set-up
}

TEST_P(DriverTransportTest, ADeviceWhoseChipNeverAnswersIsNotOffered) {
  close();
  unplug();
  chip_.queueReads(0x0000, std::vector<std::uint32_t>(501, 0));
  replug();
  const auto opened = provider_->open(kQaInterfaceClass, 0);
  EXPECT_EQ(opened.failure, Provider::OpenFailure::NoInstance);
  EXPECT_EQ(provider_->open("{00000000-0000-0000-0000-000000000000}", 0).failure,
            Provider::OpenFailure::UnknownClass);
  unplug();
  replug();  // answers now
  open();
}

TEST_P(DriverTransportTest, BulkPipesFollowTheConfigurationsEndpointOrder) {
  const std::vector<std::uint8_t> packet(96, 0);
  auto send = [&](std::uint32_t pipe) {
    auto load = U32s({pipe, 96});
    load.insert(load.end(), packet.begin(), packet.end());
    call(VQ_OID_USB_TX_LOAD_PACKET, load);
    call(VQ_OID_USB_TX_START, U32s({1, 1u << pipe, 0, 0, 0}));
  };
  // Default: E1 = 0x01 is OUT pipe 5, E2 = 0x02 is OUT pipe 0.
  send(5);
  EXPECT_TRUE(chip_.completeOut(0x01));
  send(0);
  EXPECT_TRUE(chip_.completeOut(0x02));

  // Eight bulk OUT endpoints (interrupt ones ignored): the seventh is pipe 6.
  close();
  const std::pair<std::uint8_t, std::uint8_t> endpoints[] = {
      {0x83, 3}, {0x81, 2}, {0x82, 2}, {0x11, 2}, {0x12, 2}, {0x13, 2}, {0x14, 2}, {0x15, 2}, {0x16, 2}, {0x17, 2}, {0x18, 2}};
  chip_.setConfigurationDescriptor(MakeConfigurationDescriptor(endpoints));
  open();
  send(6);
  EXPECT_TRUE(chip_.completeOut(0x17));
  send(5);
  EXPECT_TRUE(chip_.completeOut(0x11));

  // No bulk endpoint at all: the open succeeds and the pipelines start nothing.
  close();
  const std::pair<std::uint8_t, std::uint8_t> interruptOnly[] = {{0x83, 3}};
  chip_.setConfigurationDescriptor(MakeConfigurationDescriptor(interruptOnly));
  open();
  send(0);
  call(VQ_OID_USB_RX0_START, {0, 0});
  EXPECT_EQ(chip_.pendingBulk(0x02) + chip_.pendingBulk(0x81), 0u);
  call(VQ_OID_USB_RX0_STOP);
}

}  // namespace
}  // namespace kqa::driver::testing
