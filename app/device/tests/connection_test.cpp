#include <gtest/gtest.h>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/register_access.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::TestBed;
using namespace kqa::ioctl;

TEST(Connection, WithoutADeviceEveryOperationStaysSilentAndLeavesItsValueAndOpeningIsRetried) {
  TestBed bed;
  bed.chip.present = false;
  EXPECT_FALSE(OpenDevice(bed.device));
  EXPECT_EQ(bed.traces, "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n");

  std::uint32_t value = 0x1234;
  EXPECT_FALSE(RegisterAccess(bed.device).ReadMacRegister(0x1004, value));
  EXPECT_FALSE(QueryFirmwareMode(bed.device, value));
  EXPECT_EQ(value, 0x1234u);
  SelectBackEnd(bed.memoryMode, ConfigMemoryBackEnd::Buffer);
  std::uint16_t word = 0x7777;
  EXPECT_EQ(ReadEepromWord(bed.configMemory(), 0, word), NvmResult::NoDevice);
  EXPECT_EQ(WriteEepromWord(bed.configMemory(), 0, 0x1234), NvmResult::NoDevice);
  EXPECT_EQ(word, 0x7777);
  EXPECT_EQ(bed.memoryMode.eepromImage[0], 0);
  bool rxRunning = false;
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, {}), -1);
  EXPECT_FALSE(CallDevice(bed.device, VQ_OID_USB_TX_STOP, {}, {}).ok);
  EXPECT_TRUE(bed.chip.calls().empty());
  EXPECT_TRUE(bed.prompt.events().empty());

  bed.chip.present = true;
  EXPECT_TRUE(EnsureDeviceOpen(bed.device));
  EXPECT_TRUE(EnsureDeviceOpen(bed.device));
  EXPECT_EQ(bed.chip.opens, 1);
  EXPECT_NE(bed.traces.find("Symbolic link is /fake/kestrel0\n"), std::string::npos);
}

TEST(Connection, CallDeviceNeedsTheWholeOutputWhileCallDeviceCountTakesAnyCount) {
  TestBed bed;
  ASSERT_TRUE(OpenDevice(bed.device));
  std::array<std::uint8_t, 8> output{};
  std::uint32_t count = 99;

  bed.chip.script(VQ_OID_USB_TX_STOP, ERROR_SUCCESS);
  EXPECT_TRUE(CallDevice(bed.device, VQ_OID_USB_TX_STOP, {}, {}).ok);
  bed.chip.script(VQ_OID_USB_TX_STOP, ERROR_SUCCESS, {}, 4);
  EXPECT_FALSE(CallDevice(bed.device, VQ_OID_USB_TX_STOP, {}, {}).ok) << "output 0, count 4";

  bed.chip.script(VQ_OID_USB_QUERY_RX_STATISTICS, ERROR_SUCCESS, {1, 2, 3, 4});
  EXPECT_FALSE(CallDevice(bed.device, VQ_OID_USB_QUERY_RX_STATISTICS, {}, output).ok) << "a short count";
  bed.chip.script(VQ_OID_USB_QUERY_RX_STATISTICS, ERROR_SUCCESS, {1, 2, 3, 4});
  EXPECT_TRUE(CallDeviceCount(bed.device, VQ_OID_USB_QUERY_RX_STATISTICS, {}, output, count).ok);
  EXPECT_EQ(count, 4u);

  bed.chip.script(VQ_OID_USB_QUERY_RX_STATISTICS, ERROR_GEN_FAILURE, {});
  const CallResult failed = CallDeviceCount(bed.device, VQ_OID_USB_QUERY_RX_STATISTICS, {}, output, count);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.error, ERROR_GEN_FAILURE);
  EXPECT_TRUE(bed.device.hDevice.isOpen());  // only 1167 closes
}

}  // namespace
}  // namespace kqa::device
