// The device layer through the in-process driver against the emulated
// Kestrel: start-up, plugging and the firmware channel (the eFuse tests run
// on it too, in efuse_test.cpp).
#include <gtest/gtest.h>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/register_access.h"
#include "app/device/tests/emulated_rig.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::RigBed;

TEST(DeviceEndToEnd, TheEfuseBoardStartsOnItsEfuse) {
  RigBed bed({.board = chip::Board::Efuse});
  EXPECT_TRUE(bed.report.deviceOpen);
  EXPECT_EQ(bed.report.backEnd, ConfigMemoryBackEnd::Efuse);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"EEPROM File not found!Read from eFuse..."});
  EXPECT_EQ(bed.device.asicVersion, 0x5EC70000u);
  EXPECT_EQ(bed.device.txwiSize, 20u);
  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(bed.configMemory(), 0x34, word), NvmResult::Ok);
  EXPECT_EQ(word, 0x0012);  // the factory configuration's paths
}

TEST(DeviceEndToEnd, ALostDeviceClosesOn1167AndIsReopenedWhenItIsBack) {
  RigBed bed;
  bed.bench.unplug();
  const CallResult lost = CallDevice(bed.device, ioctl::VQ_OID_USB_TX_STOP, {}, {});
  EXPECT_EQ(lost.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(bed.device.hDevice.isOpen());
  EXPECT_FALSE(EnsureDeviceOpen(bed.device));
  std::uint32_t value = 7;
  EXPECT_FALSE(RegisterAccess(bed.device).ReadMacRegister(0x0000, value));
  EXPECT_EQ(value, 7u);
  EXPECT_TRUE(bed.prompt.events().empty());

  bed.bench.replug();
  // The generic calls never re-open; the typed operations do.
  EXPECT_FALSE(CallDevice(bed.device, ioctl::VQ_OID_USB_TX_STOP, {}, {}).ok);
  EXPECT_TRUE(RegisterAccess(bed.device).ReadMacRegister(0x0000, value));
  EXPECT_EQ(value, 0x5EC70000u);

  // A typed operation that meets the loss reports it once and closes too.
  bed.bench.unplug();
  EXPECT_FALSE(RegisterAccess(bed.device).ReadMacRegister(0x0000, value));
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  EXPECT_FALSE(bed.device.hDevice.isOpen());
}

TEST(DeviceEndToEnd, FirmwareCommandsWrapTheirSequenceAndLeaveReceptionAsTheyFoundIt) {
  RigBed bed;
  bool rxRunning = false;
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, {}), -1) << "no firmware: no answer in 200 polls";
  ASSERT_TRUE(bed.bench.startFirmware());

  const std::array<std::uint8_t, 8> function1 = {1, 0, 0, 0, 0, 0, 0, 0};
  std::vector<int> answered;  // the timed-out exchange took sequence 1
  for (int i = 0; i < 15; ++i) {
    std::array<std::uint8_t, kQaCmdPacketSize> response{};
    ASSERT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, function1, response), 0) << i;
    answered.push_back(response[2] & 0x0F);
    EXPECT_EQ(response[4], 0) << "status of command " << i;
  }
  EXPECT_EQ(answered, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 1}));
  EXPECT_FALSE(rxRunning);
  EXPECT_EQ(bed.bench.chip().peekRegister(0x1004) & 0x8, 0u);

  // With reception running (started as the TX/RX page starts it), it stays on.
  RegisterAccess(bed.device).WriteMacRegister(0x1004, 0x8);
  const std::array<std::uint8_t, 2> untilStopped{};
  ASSERT_TRUE(CallDevice(bed.device, ioctl::VQ_OID_USB_RX0_START, untilStopped, {}).ok);
  rxRunning = true;
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, function1), 0);
  EXPECT_TRUE(rxRunning);
  EXPECT_EQ(bed.bench.chip().peekRegister(0x1004), 0x8u);
  EXPECT_TRUE(bed.prompt.messages().empty());
}

}  // namespace
}  // namespace kqa::device
