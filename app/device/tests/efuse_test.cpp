// The eFuse logical write, the free-block accounting and the eFuse back end,
// on the emulated chip's eFuse model through the in-process driver.
#include <gtest/gtest.h>

#include "app/device/config_memory.h"
#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/efuse_map.h"
#include "app/device/startup.h"
#include "app/device/tests/emulated_rig.h"
#include "app/device/tests/fake_device.h"
#include "platform/bytes/little_endian.h"

namespace kqa::device {
namespace {

using Content = std::array<std::uint8_t, 512>;

// The eFuse board on the given eFuse.
struct EfuseBoard : testing::RigBed {
  explicit EfuseBoard(Content content = {}) : RigBed({.board = chip::Board::Efuse, .efuseContent = content}) {
    prompt.clear();
  }
  EfuseWriteResult write(std::uint16_t offset, std::uint16_t value) {
    std::array<std::uint8_t, 2> bytes{};
    PutLe16(bytes, 0, value);
    return WriteEfuseLogical(configMemory(), offset, bytes);
  }
  std::uint16_t read(std::uint16_t offset, std::uint8_t* block = nullptr) {
    std::uint16_t value = 0;
    const std::uint8_t found = ReadEfuseLogicalWord(device, offset, value);
    if (block) *block = found;
    return value;
  }
  chip::Efuse::Content burnt() { return bench.chip().efuseBytes(); }
};

// Worked out by hand: bit 6 = 1^L0^L1^L2^L3, bit 7 = 1^L2^L3^L4^L5.
TEST(Efuse, MapBytesCarryTheBlockNumberAndTwoParityBits) {
  EXPECT_EQ(EfuseMapByte(0), 0xC0);
  EXPECT_EQ(EfuseMapByte(1), 0x81);
  EXPECT_EQ(EfuseMapByte(31), 0x5F);   // 011111: bit 6 = 1^1^1^1^1, bit 7 = 1^1^1^1^0
  EXPECT_EQ(EfuseMapByte(32), 0x60);   // 100000: bit 7 = 1^L5 = 0
  EXPECT_EQ(EfuseMapByte(0x2C), 0x6C); // 101100: bit 6 = 1^0^0^1^1, bit 7 = 1^1^1^0^1
  EXPECT_EQ(EfuseMapByte(0x3F), 0xFF);
}

// The free count spans the first to the last free (0x00) map byte; the map
// is read in words, so a free byte may be a word's high byte.
TEST(Efuse, TheFreeCountSpansTheFirstToTheLastFreeMapByte) {
  const auto count = [](std::initializer_list<int> usedBytes) {
    std::vector<std::uint8_t> bytes(30, 0);  // 480..509
    for (int address : usedBytes) bytes[static_cast<std::size_t>(address - 480)] = 0x81;
    bytes[29] = 0x55;  // byte 509 lies past the map: never counted
    return EfuseMap(kEfuseAreaStart, kEfuseAreaEnd, bytes).freeCount();
  };
  EXPECT_EQ(count({}), 29);
  EXPECT_EQ(count({480}), 28);                          // first free: 481, a high byte
  EXPECT_EQ(count({480, 481, 482, 483, 484}), 24);      // first free: 485, a high byte
  EXPECT_EQ(count({508, 507}), 27);                     // last free: 506
  EXPECT_EQ(count({480, 481, 482, 483, 484, 485, 486, 487, 488, 489, 490, 491, 492, 493, 494,
                   495, 496, 497, 498, 499, 500, 501, 502, 503, 504, 505, 506, 507, 508}),
            0);
  // Free: 487 (a high byte) and 496 (a low byte), everything else used.
  std::vector<std::uint8_t> bytes(30, 0x81);
  bytes[487 - 480] = bytes[496 - 480] = 0;
  EXPECT_EQ(EfuseMap(kEfuseAreaStart, kEfuseAreaEnd, bytes).freeCount(), 496 - 487 + 1);
  EXPECT_EQ(EfuseMap(kEfuseAreaStart, kEfuseAreaEnd, bytes).nextFree(), 16);  // 496: the top one

  Content board{};  // the same through the chip: blocks 0 to 4 used
  for (std::size_t map = 480; map <= 484; ++map) board[map] = 0x81;
  EfuseBoard mapped(board);
  EXPECT_EQ(EfuseFreeBlockCount(mapped.configMemory()), 24);
}

TEST(Efuse, ANewBlockTakesTheHighestFreeMapByteAddingBitsIsInPlaceAndClearingOneRelocates) {
  EfuseBoard board;
  std::uint8_t block = 0;
  EXPECT_EQ(board.read(0x12, &block), 0xFFFF);
  EXPECT_EQ(block, kEfuseUnmapped);
  ASSERT_EQ(board.write(0x12, 0x1234), EfuseWriteResult::Written);
  EXPECT_EQ(board.burnt()[508], 0x81);
  EXPECT_EQ(board.burnt()[28 * 16 + 2], 0x34);
  EXPECT_EQ(board.read(0x10), 0x0000);  // the rest of a fresh block
  ASSERT_EQ(board.write(0x1E, 0x5678), EfuseWriteResult::Written);

  ASSERT_EQ(board.write(0x12, 0x1235), EfuseWriteResult::Written);
  EXPECT_EQ(board.read(0x12, &block), 0x1235);
  EXPECT_EQ(block, 28);
  EXPECT_EQ(board.burnt()[507], 0x00);

  ASSERT_EQ(board.write(0x12, 0x1230), EfuseWriteResult::Written);
  EXPECT_EQ(board.read(0x12, &block), 0x1230);
  EXPECT_EQ(block, 27);
  EXPECT_EQ(board.read(0x1E), 0x5678);  // the merged block moved
  EXPECT_EQ(board.burnt()[507], 0x81);
  EXPECT_EQ(board.burnt()[508], 0x83);  // one more bit burnt: no longer a valid map byte
}

TEST(Efuse, AWriteThatNeverVerifiesFailsAfterFiveAttemptsAndKeepsItsLastBlockMapped) {
  EfuseBoard board;
  for (int block = 0; block < 29; ++block) board.bench.chip().faults().addWeakEfuseBit(block * 16 + 1, 7);
  EXPECT_EQ(board.write(0x40, 0x8001), EfuseWriteResult::VerifyFailed);
  std::uint8_t block = 0;
  EXPECT_EQ(board.read(0x40, &block), 0x0001);
  EXPECT_EQ(block, 24);  // blocks 28..24 tried, the last one stays mapped
  EXPECT_EQ(board.burnt()[503], 0x00);
}

TEST(Efuse, RecordsWithOddEdgesKeepTheNeighbouringBytesAndStopAtTheEnd) {
  EfuseBoard board;
  ASSERT_EQ(board.write(0x10, 0x1234), EfuseWriteResult::Written);
  ASSERT_EQ(board.write(0x12, 0x5678), EfuseWriteResult::Written);
  ASSERT_EQ(WriteEfuseLogicalRecord(board.configMemory(), 0x11, std::array<std::uint8_t, 2>{0xAB, 0xCD}),
            EfuseWriteResult::Written);
  std::array<std::uint8_t, 4> guarded = {0, 0, 0, 0xEE};
  ASSERT_TRUE(ReadEfuseLogicalBlock(board.device, 0x10, std::span(guarded).first(3), false));
  EXPECT_EQ(guarded, (std::array<std::uint8_t, 4>{0x34, 0xAB, 0xCD, 0xEE}));
  EXPECT_EQ(board.read(0x12), 0x56CD);

  std::uint16_t failedAt = 0;
  EXPECT_EQ(WriteEfuseLogicalRecord(board.configMemory(), 510, std::array<std::uint8_t, 4>{}, &failedAt),
            EfuseWriteResult::OutOfRange);
  EXPECT_EQ(failedAt, 510);
}

TEST(Efuse, ForecastsCountABlockForEveryClearedBitAndEveryNewBlock) {
  Content sparse{};  // free blocks count from the first to the last free map byte
  for (std::size_t map = 480; map <= 508; ++map) sparse[map] = 0x11;
  sparse[490] = sparse[495] = 0;
  EfuseBoard sparseBoard(sparse);
  EXPECT_EQ(EfuseFreeBlockCount(sparseBoard.configMemory()), 6);

  EfuseBoard board;
  EXPECT_EQ(EfuseFreeBlockCount(board.configMemory()), 29);
  ASSERT_EQ(board.write(0x10, 0x1234), EfuseWriteResult::Written);
  EXPECT_EQ(EfuseSingleWriteForecast(board.configMemory(), 0x10, 0x1236, EfuseWriteForm::Word), 28);
  EXPECT_EQ(EfuseSingleWriteForecast(board.configMemory(), 0x10, 0x1230, EfuseWriteForm::Word), 27);
  EXPECT_EQ(EfuseSingleWriteForecast(board.configMemory(), 0x11, 0x13, EfuseWriteForm::Byte), 28);
  EXPECT_EQ(EfuseSingleWriteForecast(board.configMemory(), 0x11, 0x02, EfuseWriteForm::Byte), 27);
  EXPECT_EQ(EfuseSingleWriteForecast(board.configMemory(), 0x40, 0xFFFF, EfuseWriteForm::Word), 27);

  Content current;
  ASSERT_TRUE(ReadEfuseLogicalBlock(board.device, 0, current, false));
  Content target = current;
  EXPECT_EQ(EfuseImageForecast(board.configMemory(), current, target), 28);
  target[0x10] = 0x30;   // clears a bit of a mapped block
  target[0x100] = 0x00;  // an unmapped block gets content
  EXPECT_EQ(EfuseImageForecast(board.configMemory(), current, target), 26);
}

TEST(Efuse, AFullEfuseRefusesAWriteThatWouldClearABitAndBurnsNothing) {
  Content full{};
  full[0] = 0x34;
  full[1] = 0x12;
  full[480] = EfuseMapByte(1);
  for (std::size_t map = 481; map <= 508; ++map) full[map] = 0xFF;
  EfuseBoard board(full);
  ASSERT_EQ(EfuseFreeBlockCount(board.configMemory()), 0);
  EXPECT_EQ(EfuseSingleWriteForecast(board.configMemory(), 0x40, 0xFFFF, EfuseWriteForm::Word), 0);
  EXPECT_EQ(board.write(0x10, 0x1230), EfuseWriteResult::NotProgrammable);
  EXPECT_EQ(board.write(0x20, 0x0001), EfuseWriteResult::NoFreeBlock);
  EXPECT_EQ(board.burnt(), full);
  EXPECT_EQ(board.write(0x10, 0x1236), EfuseWriteResult::Written);
  EXPECT_EQ(board.read(0x10), 0x1236);
}

TEST(Efuse, TheEfuseBackEndAsksFirstAndCancelBurnsNothing) {
  EfuseBoard board;
  ASSERT_EQ(ActiveBackEnd(board.memoryMode), ConfigMemoryBackEnd::Efuse);
  board.prompt.answerOkCancel(false);
  EXPECT_EQ(WriteEepromWord(board.configMemory(), 0x04, 0x1122), NvmResult::Cancelled);
  EXPECT_EQ(board.burnt(), Content{});
  EXPECT_EQ(board.prompt.events().at(0).text, "Free block before write=29, after write=28, are you sure to write?");

  board.prompt.answerOkCancel(true);
  ASSERT_EQ(WriteEepromWord(board.configMemory(), 0x04, 0x1122), NvmResult::Ok);
  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(board.configMemory(), 0x04, word), NvmResult::Ok);
  EXPECT_EQ(word, 0x1122);
  board.memoryMode.efuseWriteNoConfirm = true;
  ASSERT_EQ(WriteEepromWord(board.configMemory(), 0x06, 0x3344), NvmResult::Ok);
  EXPECT_EQ(board.prompt.unansweredCount(), 0);
  EXPECT_EQ(WriteEepromBlock(board.configMemory(), 0x1FE, std::array<std::uint8_t, 4>{}), NvmResult::Failed);
  EXPECT_EQ(board.prompt.messages().back(), "Offset 0x1FE with 4 bytes lies outside the 512-byte eFuse!");
}

// A control code that fails (rather than a USB transfer, which the driver
// does not report) must stop the write before anything is programmed.
TEST(Efuse, NothingIsProgrammedFromDataRegistersThatCouldNotBeRead) {
  testing::TestBed bed;
  bed.memoryMode.efuseAreaStart = kEfuseAreaStart;
  bed.memoryMode.efuseAreaEnd = kEfuseAreaEnd;
  bed.chip.failingMacReads = {0x2C};
  EXPECT_FALSE(WriteEfusePhysicalWord(bed.device, 0x20, 0xFFFF));
  EXPECT_EQ(WriteEfuseLogical(bed.configMemory(), 0x10, std::array<std::uint8_t, 2>{1, 0}), EfuseWriteResult::DeviceFailed);
  for (std::uint32_t control : bed.chip.macWrites(0x24)) EXPECT_NE(control & 0xC0, 0xC0u);
}

}  // namespace
}  // namespace kqa::device
