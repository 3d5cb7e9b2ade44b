#include <gtest/gtest.h>

#include "app/device/config_memory.h"
#include "app/device/efuse.h"
#include "app/device/startup.h"
#include "app/device/tests/emulated_bench.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::TestBed;
using namespace kqa::ioctl;

TEST(ConfigMemory, BufferModeCopiesWithinTheImageOnly) {
  TestBed bed;
  SelectBackEnd(bed.device, ConfigMemoryBackEnd::Buffer);
  ASSERT_EQ(WriteEepromWord(bed.device, 0x3FE, 0xBEEF), NvmResult::Ok);
  EXPECT_EQ(bed.device.eepromImage[0x3FE], 0xEF);
  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(bed.device, 0x3FE, word), NvmResult::Ok);
  EXPECT_EQ(word, 0xBEEF);

  const std::array<std::uint8_t, 4> data = {1, 2, 3, 4};
  EXPECT_EQ(WriteEepromBlock(bed.device, 0x3FE, data), NvmResult::Failed);
  EXPECT_EQ(bed.prompt.messages(),
            std::vector<std::string>{"Offset 0x3FE with 4 bytes lies outside the 1024-byte EEPROM image!"});
  EXPECT_EQ(bed.device.eepromImage[0x3FE], 0xEF);
  EXPECT_TRUE(bed.chip.calls().empty());
}

TEST(ConfigMemory, EepromModeReadsWholeWordsButNeverPastTheCallersBuffer) {
  TestBed bed;
  for (std::size_t i = 0; i < bed.chip.eeprom.size(); ++i) bed.chip.eeprom[i] = static_cast<std::uint8_t>(i);
  std::array<std::uint8_t, 4> guarded = {0, 0, 0, 0xEE};
  ASSERT_EQ(ReadEepromBlock(bed.device, 0x10, std::span(guarded).first(3)), NvmResult::Ok);
  EXPECT_EQ(guarded, (std::array<std::uint8_t, 4>{0x10, 0x11, 0x12, 0xEE}));
  const auto read = bed.chip.callsOf(VQ_OID_USB_VENDOR_EEPROM_READ).at(0);
  EXPECT_EQ(read.input, (std::vector<std::uint8_t>{0x10, 0x00, 0x03, 0x00}));

  bed.chip.failAlways(VQ_OID_USB_VENDOR_EEPROM_READ, ERROR_GEN_FAILURE);
  std::uint16_t word = 0x5555;
  EXPECT_EQ(ReadEepromWord(bed.device, 0x10, word), NvmResult::Failed);
  EXPECT_EQ(word, 0x5555);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl failed!  Error = 31"});
}

TEST(ConfigMemory, EepromModeWritesTheRecordAndKeepsTheByteAfterAnOddCount) {
  TestBed bed;
  bed.chip.eeprom[0x23] = 0x99;
  ASSERT_EQ(WriteEepromWord(bed.device, 0x20, 0x1234), NvmResult::Ok);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_EEPROM_WRITE).at(0).input,
            (std::vector<std::uint8_t>{0x20, 0x00, 0x02, 0x00, 0x34, 0x12}));
  const std::array<std::uint8_t, 3> odd = {0xA1, 0xA2, 0xA3};
  ASSERT_EQ(WriteEepromBlock(bed.device, 0x20, odd), NvmResult::Ok);
  EXPECT_EQ(bed.chip.eeprom[0x22], 0xA3);
  EXPECT_EQ(bed.chip.eeprom[0x23], 0x99);

  const std::vector<std::uint8_t> tooLong(513);
  bed.chip.clearCalls();
  EXPECT_EQ(WriteEepromBlock(bed.device, 0, tooLong), NvmResult::Failed);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"Maximum size must <= 512"});
  EXPECT_TRUE(bed.chip.callsOf(VQ_OID_USB_VENDOR_EEPROM_WRITE).empty());
}

class EfuseMode : public ::testing::Test {
 protected:
  EfuseMode() {
    device.trace = nullptr;
    StartupOptions options;
    options.eepromFile = "/nonexistent/eeprom.bin";
    RunDeviceStartup(device, options);
    prompt.clear();
  }

  testing::EmulatedBench bench{{.board = chip::Board::Efuse, .efuseContent = std::array<std::uint8_t, 512>{}}};
  ScriptedPrompt prompt;
  DeviceContext device{bench.provider(), prompt, bench.clock()};
};

TEST_F(EfuseMode, WritesAskFirstAndCancelBurnsNothing) {
  ASSERT_EQ(ActiveBackEnd(device), ConfigMemoryBackEnd::Efuse);
  const auto fresh = bench.chip().efuseBytes();
  prompt.answerOkCancel(false);
  EXPECT_EQ(WriteEepromWord(device, 0x04, 0x1122), NvmResult::Cancelled);
  EXPECT_EQ(bench.chip().efuseBytes(), fresh);
  ASSERT_EQ(prompt.events().size(), 1u);
  EXPECT_EQ(prompt.events()[0].text, "Free block before write=29, after write=28, are you sure to write?");

  prompt.answerOkCancel(true);
  ASSERT_EQ(WriteEepromWord(device, 0x04, 0x1122), NvmResult::Ok);
  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(device, 0x04, word), NvmResult::Ok);
  EXPECT_EQ(word, 0x1122);
  EXPECT_EQ(ReadEepromWord(device, 0x40, word), NvmResult::Ok);
  EXPECT_EQ(word, 0xFFFF);  // unmapped

  device.efuseWriteNoConfirm = true;
  ASSERT_EQ(WriteEepromWord(device, 0x06, 0x3344), NvmResult::Ok);
  EXPECT_EQ(prompt.unansweredCount(), 0);
}

TEST_F(EfuseMode, AWriteThatFailsIsReportedAsAFailure) {
  device.efuseWriteNoConfirm = true;
  for (int block = 0; block < 29; ++block) bench.chip().faults().addWeakEfuseBit(block * 16, 0);
  EXPECT_EQ(WriteEepromWord(device, 0x10, 0x0001), NvmResult::Failed);
  EXPECT_EQ(prompt.messages(),
            std::vector<std::string>{
                "eFuse write failed at offset 0x010: the data did not verify after 5 attempts!"});

  const std::array<std::uint8_t, 4> beyond{};
  EXPECT_EQ(WriteEepromBlock(device, 0x1FE, beyond), NvmResult::Failed);
  EXPECT_EQ(prompt.messages().back(), "Offset 0x1FE with 4 bytes lies outside the 512-byte eFuse!");
}

TEST(ConfigMemory, WithoutADeviceNothingIsTouched) {
  TestBed bed;
  bed.chip.present = false;
  SelectBackEnd(bed.device, ConfigMemoryBackEnd::Buffer);
  std::uint16_t word = 0x7777;
  EXPECT_EQ(ReadEepromWord(bed.device, 0, word), NvmResult::NoDevice);
  EXPECT_EQ(WriteEepromWord(bed.device, 0, 0x1234), NvmResult::NoDevice);
  EXPECT_EQ(word, 0x7777);
  EXPECT_EQ(bed.device.eepromImage[0], 0);
  EXPECT_TRUE(bed.prompt.events().empty());
}

}  // namespace
}  // namespace kqa::device
