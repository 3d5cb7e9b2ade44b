// The device layer through the in-process driver against the emulated
// Kestrel: start-up, plugging, the firmware channel and BBP paths (the eFuse
// tests run on it too, in efuse_test.cpp and config_memory_test.cpp).
#include <gtest/gtest.h>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/register_access.h"
#include "app/device/startup.h"
#include "app/device/tests/emulated_bench.h"
#include "platform/ioctl/control_codes.h"
#include "platform/prompt/scripted_prompt.h"

namespace kqa::device {
namespace {

using testing::EmulatedBench;

class DeviceEndToEnd : public ::testing::Test {
 protected:
  DeviceEndToEnd() { device.trace = nullptr; }
  StartupReport Start() {
    StartupOptions options;
    options.eepromFile = "/nonexistent/eeprom.bin";
    return RunDeviceStartup(device, options);
  }

  EmulatedBench bench;
  ScriptedPrompt prompt;
  DeviceContext device{bench.provider(), prompt, bench.clock()};
};

TEST(DeviceStartupEndToEnd, TheEfuseBoardIsReadThroughTheEfuse) {
  EmulatedBench bench({.board = chip::Board::Efuse});
  ScriptedPrompt prompt;
  DeviceContext device(bench.provider(), prompt, bench.clock());
  device.trace = nullptr;
  StartupOptions options;
  options.eepromFile = "/nonexistent/eeprom.bin";
  const StartupReport report = RunDeviceStartup(device, options);
  EXPECT_TRUE(report.deviceOpen);
  EXPECT_EQ(report.backEnd, ConfigMemoryBackEnd::Efuse);
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"EEPROM File not found!Read from eFuse..."});
  EXPECT_EQ(device.asicVersion, 0x5EC70000u);
  EXPECT_EQ(device.txwiSize, 20u);

  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(device, 0x00, word), NvmResult::Ok);
  EXPECT_EQ(word, 0x5EC7);  // the factory configuration's chip model
  ASSERT_EQ(ReadEepromWord(device, 0x34, word), NvmResult::Ok);
  EXPECT_EQ(word, 0x0012);
}

TEST_F(DeviceEndToEnd, ALostDeviceClosesOn1167AndIsReopenedWhenItIsBack) {
  Start();
  bench.unplug();
  const CallResult lost = CallDevice(device, ioctl::VQ_OID_USB_TX_STOP, {}, {});
  EXPECT_EQ(lost.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(device.hDevice.isOpen());
  EXPECT_FALSE(EnsureDeviceOpen(device));
  std::uint32_t value = 7;
  EXPECT_FALSE(RegisterAccess(device).ReadMacRegister(0x0000, value));
  EXPECT_EQ(value, 7u);
  EXPECT_TRUE(prompt.events().empty());

  bench.replug();
  // The generic calls never re-open; the typed operations do.
  EXPECT_FALSE(CallDevice(device, ioctl::VQ_OID_USB_TX_STOP, {}, {}).ok);
  EXPECT_TRUE(RegisterAccess(device).ReadMacRegister(0x0000, value));
  EXPECT_EQ(value, 0x5EC70000u);

  // A typed operation that meets the loss reports it once and closes too.
  bench.unplug();
  EXPECT_FALSE(RegisterAccess(device).ReadMacRegister(0x0000, value));
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  EXPECT_FALSE(device.hDevice.isOpen());
}

TEST_F(DeviceEndToEnd, FirmwareCommandsWrapTheirSequenceAndLeaveReceptionAsTheyFoundIt) {
  Start();
  ASSERT_TRUE(bench.startFirmware());
  std::uint32_t mcu = 0;
  ASSERT_TRUE(RegisterAccess(device).ReadSysRegister(0x230, mcu));
  EXPECT_EQ(mcu & 1, 1u);

  bool rxRunning = false;
  const std::array<std::uint8_t, 8> function1 = {1, 0, 0, 0, 0, 0, 0, 0};
  std::vector<int> answered;
  for (int i = 0; i < 16; ++i) {
    std::array<std::uint8_t, kQaCmdPacketSize> response{};
    ASSERT_EQ(ExchangeQACmd(device, rxRunning, 31, function1, response), 0) << i;
    answered.push_back(response[2] & 0x0F);
    EXPECT_EQ(response[4], 0) << "status of command " << i;
  }
  std::vector<int> expected;
  for (int i = 1; i <= 15; ++i) expected.push_back(i);
  expected.push_back(1);
  EXPECT_EQ(answered, expected);
  EXPECT_FALSE(rxRunning);
  EXPECT_EQ(bench.chip().peekRegister(0x1004) & 0x8, 0u);

  // With reception running (started as the TX/RX page starts it), it stays on.
  RegisterAccess(device).WriteMacRegister(0x1004, 0x8);
  const std::array<std::uint8_t, 2> untilStopped{};
  ASSERT_TRUE(CallDevice(device, ioctl::VQ_OID_USB_RX0_START, untilStopped, {}).ok);
  rxRunning = true;
  EXPECT_EQ(ExchangeQACmd(device, rxRunning, 31, function1), 0);
  EXPECT_TRUE(rxRunning);
  EXPECT_EQ(bench.chip().peekRegister(0x1004), 0x8u);
  EXPECT_TRUE(prompt.messages().empty());
}

TEST_F(DeviceEndToEnd, BbpR66ReachesEveryReceivePath) {
  Start();
  device.eepromWord34 = 0x0022;  // two receive paths
  std::uint8_t gain = 0x1C;
  ASSERT_TRUE(RegisterAccess(device).AccessBbpRegister(kRegisterWrite, 66, gain));
  EXPECT_EQ(bench.chip().peekBbpGain(0), 0x1C);
  EXPECT_EQ(bench.chip().peekBbpGain(1), 0x1C);
  std::uint8_t value = 0;
  ASSERT_TRUE(RegisterAccess(device).AccessRfRegister(kRegisterWrite, 2, 10, gain));
  EXPECT_EQ(bench.chip().peekRf(2, 10), 0x1C);
  ASSERT_TRUE(RegisterAccess(device).AccessRfRegister(kRegisterRead, 2, 10, value));
  EXPECT_EQ(value, 0x1C);
}

}  // namespace
}  // namespace kqa::device
