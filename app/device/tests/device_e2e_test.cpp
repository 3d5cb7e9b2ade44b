// The device layer through the in-process driver against the emulated
// Kestrel: the eFuse model, plugging, the firmware channel and BBP paths.
#include <gtest/gtest.h>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/efuse.h"
#include "app/device/firmware_channel.h"
#include "app/device/register_access.h"
#include "app/device/startup.h"
#include "app/device/tests/emulated_bench.h"
#include "platform/ioctl/control_codes.h"
#include "platform/prompt/scripted_prompt.h"

namespace kqa::device {
namespace {

using testing::EmulatedBench;

chip::KestrelOptions EfuseBoard(std::array<std::uint8_t, 512> content = {}) {
  return {.board = chip::Board::Efuse, .efuseContent = content};
}

class DeviceEndToEnd : public ::testing::Test {
 protected:
  explicit DeviceEndToEnd(chip::KestrelOptions options = {}) : bench(std::move(options)) {
    device.trace = nullptr;
  }
  StartupReport Start() {
    StartupOptions options;
    options.eepromFile = "/nonexistent/eeprom.bin";
    return RunDeviceStartup(device, options);
  }

  EmulatedBench bench;
  ScriptedPrompt prompt;
  DeviceContext device{bench.provider(), prompt, bench.clock()};
};

class EfuseBoardEndToEnd : public DeviceEndToEnd {
 protected:
  EfuseBoardEndToEnd() : DeviceEndToEnd(EfuseBoard()) {}
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

TEST_F(EfuseBoardEndToEnd, WordsAreProgrammedInPlaceOrMovedAndTheOldMapByteInvalidated) {
  Start();
  ASSERT_EQ(ActiveBackEnd(device), ConfigMemoryBackEnd::Efuse);
  prompt.clear();
  for (int i = 0; i < 3; ++i) prompt.answerOkCancel(true);

  ASSERT_EQ(WriteEepromWord(device, 0x10, 0x1234), NvmResult::Ok);
  EXPECT_EQ(bench.chip().efuseBytes()[508], EfuseMapByte(1));
  ASSERT_EQ(WriteEepromWord(device, 0x10, 0x1236), NvmResult::Ok);  // adds a bit
  EXPECT_EQ(bench.chip().efuseBytes()[507], 0x00);
  ASSERT_EQ(WriteEepromWord(device, 0x10, 0x1230), NvmResult::Ok);  // clears two
  const auto efuse = bench.chip().efuseBytes();
  EXPECT_EQ(efuse[507], EfuseMapByte(1));
  EXPECT_NE(efuse[508], EfuseMapByte(1));
  EXPECT_EQ(efuse[27 * 16], 0x30);
  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(device, 0x10, word), NvmResult::Ok);
  EXPECT_EQ(word, 0x1230);
  EXPECT_EQ(prompt.events()[0].text, "Free block before write=29, after write=28, are you sure to write?");
  EXPECT_EQ(prompt.events()[2].text, "Free block before write=28, after write=27, are you sure to write?");
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{});
}

TEST_F(EfuseBoardEndToEnd, AWriteThatNeverVerifiesIsReportedAsFailed) {
  Start();
  device.efuseWriteNoConfirm = true;
  for (int block = 0; block < 29; ++block) bench.chip().faults().addWeakEfuseBit(block * 16, 0);
  EXPECT_EQ(WriteEepromWord(device, 0x40, 0x0001), NvmResult::Failed);
  EXPECT_EQ(prompt.messages().back(),
            "eFuse write failed at offset 0x040: the data did not verify after 5 attempts!");
}

class FullEfuseEndToEnd : public DeviceEndToEnd {
 protected:
  static std::array<std::uint8_t, 512> Full() {
    std::array<std::uint8_t, 512> content{};
    content[0] = 0x34;
    content[1] = 0x12;
    content[480] = EfuseMapByte(1);
    for (int map = 481; map <= 508; ++map) content[map] = 0xFF;
    return content;
  }
  FullEfuseEndToEnd() : DeviceEndToEnd(EfuseBoard(Full())) {}
};

TEST_F(FullEfuseEndToEnd, AWriteThatWouldClearABitIsRefusedAndNothingIsBurnt) {
  Start();
  prompt.clear();
  prompt.answerOkCancel(true);
  const auto before = bench.chip().efuseBytes();
  EXPECT_EQ(WriteEepromWord(device, 0x10, 0x1230), NvmResult::Failed);
  EXPECT_EQ(prompt.events()[0].text, "Free block before write=0, after write=0, are you sure to write?");
  EXPECT_EQ(prompt.messages(),
            std::vector<std::string>{"eFuse write failed at offset 0x010: no free eFuse block is left and "
                                     "the data would clear burnt bits!"});
  EXPECT_EQ(bench.chip().efuseBytes(), before);
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
  const std::vector<int>& received = bench.answerFirmwareCommands();
  bool rxRunning = false;
  const std::array<std::uint8_t, 8> payload = {1, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) ASSERT_EQ(ExchangeQACmd(device, rxRunning, 31, payload), 0) << i;
  bench.chip().runUntilIdle();
  std::vector<int> expected;
  for (int i = 1; i <= 15; ++i) expected.push_back(i);
  expected.push_back(1);
  EXPECT_EQ(received, expected);
  EXPECT_FALSE(rxRunning);
  EXPECT_EQ(bench.chip().peekRegister(0x1004) & 0x8, 0u);

  // With reception running (started as the TX/RX page starts it), it stays on.
  RegisterAccess(device).WriteMacRegister(0x1004, 0x8);
  const std::array<std::uint8_t, 2> untilStopped{};
  ASSERT_TRUE(CallDevice(device, ioctl::VQ_OID_USB_RX0_START, untilStopped, {}).ok);
  rxRunning = true;
  EXPECT_EQ(ExchangeQACmd(device, rxRunning, 31, payload), 0);
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
