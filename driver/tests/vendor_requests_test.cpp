// Vendor requests and the recovery after transfer errors, over a fake stack
// that can refuse to answer, script the hub port, and be reached from a
// completion routine.
#include "driver/vendor_requests.h"

#include <gtest/gtest.h>

#include "driver/tests/driver_harness.h"
#include "platform/ioctl/control_codes.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"

namespace kqa::driver::testing {
namespace {

using namespace std::chrono_literals;
using usb::TransferStatus;
using usb::testing::FakeDeviceModel;

class VendorRequestsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(harness.pnp(PnpMinor::StartDevice), STATUS_SUCCESS);
    ASSERT_EQ(harness.create(), STATUS_SUCCESS);
    harness.chip.clearLog();
  }
  DriverHarness harness;
};

TEST_F(VendorRequestsTest, ARequestNeverAnsweredIsCancelledAfterOneSecondAndNoByteIsCountedPastTheOutput) {
  harness.lower->neverAnswer(0x07, [&] { harness.clock.advance(2s); });
  const auto reply = harness.readMac(0x1234);
  EXPECT_EQ(reply.status, STATUS_SUCCESS);  // a read answers its 4 bytes, as they stood
  EXPECT_EQ(reply.output, (std::vector<std::uint8_t>{0x34, 0x12, 0, 0}));
  EXPECT_EQ(harness.lower->cancelledControls(), 1);

  // The driver itself counts no byte beyond the output: a firmware reload
  // answers its 64 bytes; the host would cut them too.
  EXPECT_EQ(harness.control(ioctl::VQ_OID_USB_FIRMWARE_RELOAD, std::vector<std::uint8_t>(64), 0).output.size(),
            0u);
}

TEST_F(VendorRequestsTest, CheckPortResetsAConnectedButDisabledPortOnce) {
  const struct {
    std::vector<usb::PortStatus> answers;  // {enabled, connected}
    NtStatus status;
    int resets;
  } cases[] = {{{{false, true}, {true, true}}, STATUS_SUCCESS, 1},
               {{{false, true}, {false, true}}, STATUS_NO_SUCH_DEVICE, 2},
               {{{false, false}}, STATUS_NO_SUCH_DEVICE, 2},
               {{{true, true}}, STATUS_SUCCESS, 2}};
  for (const auto& c : cases) {
    harness.lower->scriptPortStatus(c.answers);
    EXPECT_EQ(CheckPort(harness.dx()), c.status);
    EXPECT_EQ(harness.lower->portResets(), c.resets);
  }
}

TEST_F(VendorRequestsTest, FromACompletionRoutineARequestIsHandedToTheSystemWorker) {
  {
    kernel::DispatchLevelScope completionRoutine;
    EXPECT_EQ(Write32(harness.dx(), 0x0300, 0x12345678), STATUS_PENDING);
  }
  harness.driver.SystemWorker.flush();
  EXPECT_EQ(harness.chip.registerValue(0x0300), 0x12345678u);
}

TEST_F(VendorRequestsTest, TransferErrorRecoveriesWaitingTogetherRunOnce) {
  std::vector<std::uint8_t> load(8 + 96, 0);
  load[4] = 96;
  harness.control(ioctl::VQ_OID_USB_TX_LOAD_PACKET, load);
  std::vector<std::uint8_t> start(20, 0);
  start[4] = 0x1;  // pipe 0, until stopped
  harness.control(ioctl::VQ_OID_USB_TX_START, start);

  kernel::Event gate;
  harness.driver.SystemWorker.queue([&] { gate.wait(); });  // keeps the worker busy
  harness.chip.clearLog();
  harness.lower->scriptPortStatus({{true, true}, {false, false}});  // one answer for one port check
  const std::uint8_t pipe0 = FakeDeviceModel::kBulkOut[1];
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(harness.chip.completeOut(pipe0, nullptr, TransferStatus::Stall));
  gate.set();
  harness.driver.SystemWorker.flush();
  // One port check, then bit 19 of 0x0238 set and cleared: four register requests.
  const auto log = harness.chip.vendorLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].setup.wIndex, 0x0238);
  EXPECT_NE(log[1].outData[2] & 0x08, 0);
  EXPECT_EQ(log[3].outData[2] & 0x08, 0);
  EXPECT_EQ(CheckPort(harness.dx()), STATUS_NO_SUCH_DEVICE);  // the second answer is still there
  EXPECT_EQ(harness.chip.pendingBulk(pipe0), 1u);             // still running
}

TEST_F(VendorRequestsTest, AnInTransferErrorChecksThePortAndStopsThePipe) {
  harness.control(ioctl::VQ_OID_USB_RX0_START, {0, 0});
  harness.lower->scriptPortStatus({{true, true}});
  harness.chip.clearLog();
  ASSERT_TRUE(harness.chip.completeIn(FakeDeviceModel::kBulkIn0, {}, TransferStatus::Error));
  harness.driver.SystemWorker.flush();
  EXPECT_TRUE(harness.chip.vendorLog().empty());  // a port check only
  EXPECT_EQ(harness.chip.pendingBulk(FakeDeviceModel::kBulkIn0), 0u);
  EXPECT_EQ(harness.dx().RxUsers[0], 1);  // the user count stays
}

}  // namespace
}  // namespace kqa::driver::testing
