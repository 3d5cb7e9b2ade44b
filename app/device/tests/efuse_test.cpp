#include <gtest/gtest.h>

#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/startup.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::TestBed;

class Efuse : public ::testing::Test {
 protected:
  Efuse() {
    bed.device.efuseAreaStart = kEfuseAreaStart;
    bed.device.efuseAreaEnd = kEfuseAreaEnd;
    bed.device.efuseAreaSize = kEfuseAreaSize;
  }

  EfuseWriteResult WriteWord(std::uint16_t offset, std::uint16_t value) {
    const std::array<std::uint8_t, 2> bytes = {static_cast<std::uint8_t>(value),
                                               static_cast<std::uint8_t>(value >> 8)};
    return WriteEfuseLogical(bed.device, offset, bytes);
  }
  std::uint16_t LogicalWord(std::uint16_t offset, std::uint8_t* status = nullptr) {
    std::uint16_t value = 0;
    const std::uint8_t block = ReadEfuseLogicalWord(bed.device, offset, value);
    if (status) *status = block;
    return value;
  }
  // eFuse program operations started on the controller so far.
  std::size_t ProgramOperations() const {
    std::size_t count = 0;
    for (std::uint32_t control : bed.chip.macWrites(0x24))
      if ((control & 0x400000C0u) == 0x400000C0u) ++count;
    return count;
  }

  TestBed bed;
};

TEST_F(Efuse, MapBytesCarryTheBlockNumberAndTwoParityBits) {
  EXPECT_EQ(EfuseMapByte(0), 0xC0);
  EXPECT_EQ(EfuseMapByte(1), 0x81);
  EXPECT_EQ(EfuseMapByte(31), 0x5F);
}

TEST_F(Efuse, AWordOfAnUnmappedBlockTakesTheHighestFreeMapByte) {
  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x10, &status), 0xFFFF);
  EXPECT_EQ(status, kEfuseUnmapped);

  ASSERT_EQ(WriteWord(0x12, 0x1234), EfuseWriteResult::Written);
  EXPECT_EQ(bed.chip.efuse[508], 0x81);
  EXPECT_EQ(bed.chip.efuse[28 * 16 + 2], 0x34);
  EXPECT_EQ(LogicalWord(0x12, &status), 0x1234);
  EXPECT_EQ(status, 28);
  EXPECT_EQ(LogicalWord(0x10), 0x0000);  // the rest of a fresh block

  ASSERT_EQ(WriteWord(0x20, 0xBEEF), EfuseWriteResult::Written);
  EXPECT_EQ(bed.chip.efuse[507], EfuseMapByte(2));
  EXPECT_EQ(EfuseFreeBlockCount(bed.device), 27);
}

TEST_F(Efuse, AWordThatOnlyAddsBitsIsProgrammedInPlace) {
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  const std::size_t before = ProgramOperations();
  ASSERT_EQ(WriteWord(0x10, 0x1235), EfuseWriteResult::Written);
  EXPECT_EQ(ProgramOperations() - before, 2u);  // the word, then its map byte again
  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x10, &status), 0x1235);
  EXPECT_EQ(status, 28);
  EXPECT_EQ(bed.chip.efuse[507], 0x00);
}

TEST_F(Efuse, AWordThatClearsABitMovesTheMergedBlockAndInvalidatesTheOldMapByte) {
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  ASSERT_EQ(WriteWord(0x1E, 0x5678), EfuseWriteResult::Written);
  ASSERT_EQ(WriteWord(0x10, 0x1230), EfuseWriteResult::Written);

  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x10, &status), 0x1230);
  EXPECT_EQ(status, 27);
  EXPECT_EQ(LogicalWord(0x1E), 0x5678);
  EXPECT_EQ(bed.chip.efuse[507], 0x81);
  EXPECT_EQ(bed.chip.efuse[508], 0x83);  // one more bit burnt: no longer a valid map byte
}

TEST_F(Efuse, AFullEfuseRefusesAWriteThatWouldClearABitAndProgramsNothing) {
  bed.chip.efuse[0] = 0x34;
  bed.chip.efuse[1] = 0x12;
  bed.chip.efuse[480] = EfuseMapByte(1);
  for (int map = 481; map <= 508; ++map) bed.chip.efuse[map] = 0xFF;
  ASSERT_EQ(EfuseFreeBlockCount(bed.device), 0);
  const auto burnt = bed.chip.efuse;

  EXPECT_EQ(WriteWord(0x10, 0x1230), EfuseWriteResult::NotProgrammable);
  EXPECT_EQ(bed.chip.efuse, burnt);
  EXPECT_EQ(ProgramOperations(), 0u);
  EXPECT_EQ(WriteWord(0x20, 0x0001), EfuseWriteResult::NoFreeBlock);

  EXPECT_EQ(WriteWord(0x10, 0x1236), EfuseWriteResult::Written);
  EXPECT_EQ(LogicalWord(0x10), 0x1236);
}

TEST_F(Efuse, AWriteThatNeverVerifiesFailsAfterFiveAttemptsAndKeepsItsLastBlockMapped) {
  bed.chip.efuseStuckAtZero.fill(0x80);
  EXPECT_EQ(WriteWord(0x40, 0x8001), EfuseWriteResult::VerifyFailed);
  std::uint8_t status = 0;
  EXPECT_EQ(LogicalWord(0x40, &status), 0x0001);
  EXPECT_EQ(status, 24);  // blocks 28..24 tried, the last one stays mapped
  EXPECT_EQ(bed.chip.efuse[503], 0x00);
}

TEST_F(Efuse, NothingIsProgrammedFromDataRegistersThatCouldNotBeRead) {
  bed.chip.failingMacReads = {0x2C};
  EXPECT_FALSE(WriteEfusePhysicalWord(bed.device, 0x20, 0xFFFF));
  EXPECT_EQ(ProgramOperations(), 0u);
  EXPECT_EQ(WriteWord(0x10, 0x0001), EfuseWriteResult::DeviceFailed);
  EXPECT_EQ(ProgramOperations(), 0u);
}

TEST_F(Efuse, RecordsWithOddEdgesKeepTheNeighbouringBytes) {
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  ASSERT_EQ(WriteWord(0x12, 0x5678), EfuseWriteResult::Written);
  const std::array<std::uint8_t, 2> bytes = {0xAB, 0xCD};
  ASSERT_EQ(WriteEfuseLogicalRecord(bed.device, 0x11, bytes), EfuseWriteResult::Written);
  EXPECT_EQ(LogicalWord(0x10), 0xAB34);
  EXPECT_EQ(LogicalWord(0x12), 0x56CD);

  std::uint16_t failedAt = 0;
  const std::array<std::uint8_t, 4> beyond{};
  EXPECT_EQ(WriteEfuseLogicalRecord(bed.device, 510, beyond, &failedAt), EfuseWriteResult::OutOfRange);
  EXPECT_EQ(failedAt, 510);

  std::array<std::uint8_t, 4> guarded = {0, 0, 0, 0xEE};
  ASSERT_TRUE(ReadEfuseLogicalBlock(bed.device, 0x10, std::span(guarded).first(3), false));
  EXPECT_EQ(guarded, (std::array<std::uint8_t, 4>{0x34, 0xAB, 0xCD, 0xEE}));
}

TEST_F(Efuse, TheFreeBlockCountSpansTheFreeMapBytes) {
  EXPECT_EQ(EfuseFreeBlockCount(bed.device), 29);
  for (int map = 480; map <= 508; ++map) bed.chip.efuse[map] = 0x11;
  EXPECT_EQ(EfuseFreeBlockCount(bed.device), 0);
  bed.chip.efuse[490] = 0;
  bed.chip.efuse[495] = 0;
  EXPECT_EQ(EfuseFreeBlockCount(bed.device), 6);
}

TEST_F(Efuse, ForecastsCountABlockForEveryClearedBitAndEveryNewBlock) {
  ASSERT_EQ(WriteWord(0x10, 0x1234), EfuseWriteResult::Written);
  EXPECT_EQ(EfuseSingleWriteForecast(bed.device, 0x10, 0x1236, EfuseWriteForm::Word), 28);
  EXPECT_EQ(EfuseSingleWriteForecast(bed.device, 0x10, 0x1230, EfuseWriteForm::Word), 27);
  EXPECT_EQ(EfuseSingleWriteForecast(bed.device, 0x11, 0x13, EfuseWriteForm::Byte), 28);
  EXPECT_EQ(EfuseSingleWriteForecast(bed.device, 0x11, 0x02, EfuseWriteForm::Byte), 27);
  EXPECT_EQ(EfuseSingleWriteForecast(bed.device, 0x40, 0xFFFF, EfuseWriteForm::Word), 27);

  std::array<std::uint8_t, 512> current;
  current.fill(0xFF);
  ASSERT_TRUE(ReadEfuseLogicalBlock(bed.device, 0, current, false));
  std::array<std::uint8_t, 512> target = current;
  EXPECT_EQ(EfuseImageForecast(bed.device, current, target), 28);
  target[0x10] = 0x30;  // clears a bit of a mapped block
  target[0x100] = 0x00; // an unmapped block gets content
  EXPECT_EQ(EfuseImageForecast(bed.device, current, target), 26);

  for (int map = 480; map <= 508; ++map) bed.chip.efuse[map] |= 0x01;
  EXPECT_EQ(EfuseSingleWriteForecast(bed.device, 0x40, 0xFFFF, EfuseWriteForm::Word), 0);
}

}  // namespace
}  // namespace kqa::device
