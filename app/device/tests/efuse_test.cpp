// The eFuse logical write and the free-block accounting, on the emulated
// chip's eFuse model through the in-process driver.
#include <gtest/gtest.h>

#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/startup.h"
#include "app/device/tests/emulated_bench.h"
#include "app/device/tests/fake_device.h"
#include "platform/prompt/scripted_prompt.h"

namespace kqa::device {
namespace {

using testing::EmulatedBench;
using Content = std::array<std::uint8_t, 512>;

class Efuse : public ::testing::Test {
 protected:
  explicit Efuse(Content content = {})
      : bench({.board = chip::Board::Efuse, .efuseContent = content}) {
    device.trace = nullptr;
    StartupOptions options;
    options.eepromFile = "/nonexistent/eeprom.bin";
    RunDeviceStartup(device, options);
    prompt.clear();
  }

  EfuseWriteResult WriteWord(std::uint16_t offset, std::uint16_t value) {
    const std::array<std::uint8_t, 2> bytes = {static_cast<std::uint8_t>(value),
                                               static_cast<std::uint8_t>(value >> 8)};
    return WriteEfuseLogical(device, offset, bytes);
  }
  std::uint16_t LogicalWord(std::uint16_t offset, std::uint8_t* status = nullptr) {
    std::uint16_t value = 0;
    const std::uint8_t block = ReadEfuseLogicalWord(device, offset, value);
    if (status) *status = block;
    return value;
  }
  chip::Efuse::Content Burnt() { return bench.chip().efuseBytes(); }

  EmulatedBench bench;
  ScriptedPrompt prompt;
  DeviceContext device{bench.provider(), prompt, bench.clock()};
};

TEST(EfuseMapByte, CarriesTheBlockNumberAndTwoParityBits) {
  EXPECT_EQ(EfuseMapByte(0), 0xC0);
  EXPECT_EQ(EfuseMapByte(1), 0x81);
  EXPECT_EQ(EfuseMapByte(31), 0x5F);
}

TEST_F(Efuse, AWordOfAnUnmappedBlockTakesTheHighestFreeMapByte) {
  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x10, &status), 0xFFFF);
  EXPECT_EQ(status, kEfuseUnmapped);

  ASSERT_EQ(WriteWord(0x12, 0x1234), EfuseWriteResult::Written);
  EXPECT_EQ(Burnt()[508], 0x81);
  EXPECT_EQ(Burnt()[28 * 16 + 2], 0x34);
  EXPECT_EQ(LogicalWord(0x12, &status), 0x1234);
  EXPECT_EQ(status, 28);
  EXPECT_EQ(LogicalWord(0x10), 0x0000);  // the rest of a fresh block

  ASSERT_EQ(WriteWord(0x20, 0xBEEF), EfuseWriteResult::Written);
  EXPECT_EQ(Burnt()[507], EfuseMapByte(2));
  EXPECT_EQ(EfuseFreeBlockCount(device), 27);
}

TEST_F(Efuse, AWordThatOnlyAddsBitsIsProgrammedInPlace) {
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  ASSERT_EQ(WriteWord(0x10, 0x1235), EfuseWriteResult::Written);
  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x10, &status), 0x1235);
  EXPECT_EQ(status, 28);
  EXPECT_EQ(Burnt()[507], 0x00);
}

TEST_F(Efuse, AWordThatClearsABitMovesTheMergedBlockAndInvalidatesTheOldMapByte) {
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  ASSERT_EQ(WriteWord(0x1E, 0x5678), EfuseWriteResult::Written);
  ASSERT_EQ(WriteWord(0x10, 0x1230), EfuseWriteResult::Written);

  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x10, &status), 0x1230);
  EXPECT_EQ(status, 27);
  EXPECT_EQ(LogicalWord(0x1E), 0x5678);
  EXPECT_EQ(Burnt()[507], 0x81);
  EXPECT_EQ(Burnt()[508], 0x83);  // one more bit burnt: no longer a valid map byte
}

TEST_F(Efuse, AWriteThatNeverVerifiesFailsAfterFiveAttemptsAndKeepsItsLastBlockMapped) {
  for (int block = 0; block < 29; ++block) bench.chip().faults().addWeakEfuseBit(block * 16 + 1, 7);
  EXPECT_EQ(WriteWord(0x40, 0x8001), EfuseWriteResult::VerifyFailed);
  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x40, &status), 0x0001);
  EXPECT_EQ(status, 24);  // blocks 28..24 tried, the last one stays mapped
  EXPECT_EQ(Burnt()[503], 0x00);
}

TEST_F(Efuse, RecordsWithOddEdgesKeepTheNeighbouringBytes) {
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  ASSERT_EQ(WriteWord(0x12, 0x5678), EfuseWriteResult::Written);
  const std::array<std::uint8_t, 2> bytes = {0xAB, 0xCD};
  ASSERT_EQ(WriteEfuseLogicalRecord(device, 0x11, bytes), EfuseWriteResult::Written);
  EXPECT_EQ(LogicalWord(0x10), 0xAB34);
  EXPECT_EQ(LogicalWord(0x12), 0x56CD);

  std::uint16_t failedAt = 0;
  const std::array<std::uint8_t, 4> beyond{};
  EXPECT_EQ(WriteEfuseLogicalRecord(device, 510, beyond, &failedAt), EfuseWriteResult::OutOfRange);
  EXPECT_EQ(failedAt, 510);

  std::array<std::uint8_t, 4> guarded = {0, 0, 0, 0xEE};
  ASSERT_TRUE(ReadEfuseLogicalBlock(device, 0x10, std::span(guarded).first(3), false));
  EXPECT_EQ(guarded, (std::array<std::uint8_t, 4>{0x34, 0xAB, 0xCD, 0xEE}));
}

TEST_F(Efuse, ForecastsCountABlockForEveryClearedBitAndEveryNewBlock) {
  EXPECT_EQ(EfuseFreeBlockCount(device), 29);
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  EXPECT_EQ(EfuseSingleWriteForecast(device, 0x10, 0x1236, EfuseWriteForm::Word), 28);
  EXPECT_EQ(EfuseSingleWriteForecast(device, 0x10, 0x1230, EfuseWriteForm::Word), 27);
  EXPECT_EQ(EfuseSingleWriteForecast(device, 0x11, 0x13, EfuseWriteForm::Byte), 28);
  EXPECT_EQ(EfuseSingleWriteForecast(device, 0x11, 0x02, EfuseWriteForm::Byte), 27);
  EXPECT_EQ(EfuseSingleWriteForecast(device, 0x40, 0xFFFF, EfuseWriteForm::Word), 27);

  std::array<std::uint8_t, 512> current;
  ASSERT_TRUE(ReadEfuseLogicalBlock(device, 0, current, false));
  std::array<std::uint8_t, 512> target = current;
  EXPECT_EQ(EfuseImageForecast(device, current, target), 28);
  target[0x10] = 0x30;   // clears a bit of a mapped block
  target[0x100] = 0x00;  // an unmapped block gets content
  EXPECT_EQ(EfuseImageForecast(device, current, target), 26);
}

class FullEfuse : public Efuse {
 protected:
  static Content Full() {
    Content content{};
    content[0] = 0x34;
    content[1] = 0x12;
    content[480] = EfuseMapByte(1);
    for (int map = 481; map <= 508; ++map) content[map] = 0xFF;
    return content;
  }
  FullEfuse() : Efuse(Full()) {}
};

TEST_F(FullEfuse, AWriteThatWouldClearABitIsRefusedAndNothingIsBurnt) {
  ASSERT_EQ(EfuseFreeBlockCount(device), 0);
  EXPECT_EQ(EfuseSingleWriteForecast(device, 0x40, 0xFFFF, EfuseWriteForm::Word), 0);
  const auto before = Burnt();
  EXPECT_EQ(WriteWord(0x10, 0x1230), EfuseWriteResult::NotProgrammable);
  EXPECT_EQ(WriteWord(0x20, 0x0001), EfuseWriteResult::NoFreeBlock);
  EXPECT_EQ(Burnt(), before);
  EXPECT_EQ(WriteWord(0x10, 0x1236), EfuseWriteResult::Written);
  EXPECT_EQ(LogicalWord(0x10), 0x1236);
}

class SparseMap : public Efuse {
 protected:
  static Content Map() {
    Content content{};
    for (int map = 480; map <= 508; ++map) content[map] = 0x11;
    content[490] = 0;
    content[495] = 0;
    return content;
  }
  SparseMap() : Efuse(Map()) {}
};

TEST_F(SparseMap, TheFreeBlockCountSpansTheFirstToTheLastFreeMapByte) {
  EXPECT_EQ(EfuseFreeBlockCount(device), 6);
}

// A control code that fails (rather than a USB transfer, which the driver
// does not report) must stop the write before anything is programmed.
TEST(EfuseOnAFailingDevice, NothingIsProgrammedFromDataRegistersThatCouldNotBeRead) {
  testing::TestBed bed;
  bed.device.efuseAreaStart = kEfuseAreaStart;
  bed.device.efuseAreaEnd = kEfuseAreaEnd;
  bed.chip.failingMacReads = {0x2C};
  EXPECT_FALSE(WriteEfusePhysicalWord(bed.device, 0x20, 0xFFFF));
  EXPECT_EQ(WriteEfuseLogical(bed.device, 0x10, std::array<std::uint8_t, 2>{1, 0}),
            EfuseWriteResult::DeviceFailed);
  for (std::uint32_t control : bed.chip.macWrites(0x24)) EXPECT_NE(control & 0xC0, 0xC0u);
}

}  // namespace
}  // namespace kqa::device
