// Whole eFuse writes: planned before the first bit, burnt as planned or not
// at all, on the emulated eFuse board through the in-process driver.
#include <gtest/gtest.h>

#include <random>

#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/efuse_plan.h"
#include "app/device/tests/emulated_rig.h"

namespace kqa::device {
namespace {

using Content = std::array<std::uint8_t, 512>;
using Bytes = std::vector<std::uint8_t>;

struct EfuseBoard : testing::RigBed {
  explicit EfuseBoard(std::optional<Content> content = std::nullopt)
      : RigBed({.board = chip::Board::Efuse, .efuseContent = content}) {}
  Content burnt() { return bench.chip().efuseBytes(); }
  Content logical() {
    Content image{};
    EXPECT_TRUE(ReadEfuseLogicalBlock(device, 0, image, false));
    return image;
  }
};

// The factory eFuse board: logical blocks 0, 3, 4, 5, 6, 7, 13 and 14 in
// physical blocks 28 down to 21, 21 blocks free.
TEST(EfuseWrite, AMultiWordWriteCostsOneBlockPerMovedBlockAndThePlanSaysWhich) {
  EfuseBoard board;
  ASSERT_EQ(EfuseFreeBlockCount(board.configMemory()), 21);
  // Block 5 (in physical block 25) gets bits cleared; block 8 is new.
  const Bytes data = {0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
  Bytes span(24, 0x00);
  std::copy(data.begin(), data.end(), span.begin() + 8);
  const EfuseWritePlan plan = PlanEfuseWrite(board.configMemory(), 0x58, span);
  ASSERT_TRUE(plan.canRun());
  ASSERT_EQ(plan.blocks.size(), 2u);
  EXPECT_EQ(plan.blocks[0].logicalBlock, 5);
  EXPECT_EQ(plan.blocks[0].mappedTo, std::optional<std::uint8_t>(25));
  EXPECT_FALSE(plan.blocks[0].inPlace);
  EXPECT_EQ(plan.blocks[0].physicalBlock, 20);  // the top free map byte, 500
  EXPECT_EQ(plan.blocks[1].logicalBlock, 6);
  EXPECT_EQ(plan.blocks[1].physicalBlock, 19);
  EXPECT_EQ(plan.freshNeeded, 2);
  EXPECT_EQ(plan.freeAfter, 19);

  const Content before = board.logical();
  ASSERT_EQ(CarryOutEfusePlan(board.configMemory(), plan), EfuseWriteResult::Written);
  EXPECT_EQ(EfuseFreeBlockCount(board.configMemory()), 19);
  Content expected = before;
  std::copy(span.begin(), span.end(), expected.begin() + 0x58);
  EXPECT_EQ(board.logical(), expected);
  EXPECT_EQ(board.burnt()[500], EfuseMapByte(5));
  EXPECT_EQ(board.burnt()[499], EfuseMapByte(6));
}

TEST(EfuseWrite, AWriteTheFreeBlocksCannotHoldIsRefusedBeforeTheFirstBit) {
  Content nearlyFull{};
  for (std::size_t map = 482; map <= 508; ++map) nearlyFull[map] = 0xFF;  // two blocks left
  EfuseBoard board(nearlyFull);
  const EfuseWritePlan plan = PlanEfuseWrite(board.configMemory(), 0x08, Bytes(40, 0x5A));  // blocks 0-2
  EXPECT_EQ(plan.verdict, EfuseWriteResult::NoFreeBlock);
  EXPECT_EQ(plan.freshNeeded, 3);
  EXPECT_EQ(plan.freshAvailable, 2);
  EXPECT_EQ(EfuseRefusalReason(plan), "it needs 3 new blocks and only 2 are free");
  std::uint16_t failedAt = 0;
  EXPECT_EQ(WriteEfuseLogicalRecord(board.configMemory(), 0x08, Bytes(40, 0x5A), &failedAt),
            EfuseWriteResult::NoFreeBlock);
  EXPECT_EQ(board.burnt(), nearlyFull);

  // 0xFF over unmapped blocks changes nothing and costs nothing.
  const EfuseWritePlan blank = PlanEfuseWrite(board.configMemory(), 0x100, Bytes(64, 0xFF));
  EXPECT_TRUE(blank.canRun());
  EXPECT_TRUE(blank.blocks.empty());
  EXPECT_EQ(blank.freeAfter, 2);
}

TEST(EfuseWrite, APlanIsNotBurntOnceTheEfuseChangedUnderIt) {
  EfuseBoard board(Content{});
  const EfuseWritePlan plan = PlanEfuseWrite(board.configMemory(), 0x10, Bytes{0x12, 0x34});
  ASSERT_EQ(WriteEfuseLogicalRecord(board.configMemory(), 0x40, Bytes{0x01}), EfuseWriteResult::Written);
  const Content between = board.burnt();
  EXPECT_EQ(CarryOutEfusePlan(board.configMemory(), plan), EfuseWriteResult::Changed);
  EXPECT_EQ(board.burnt(), between);
}

// A weak bit makes the first block of a write move once more than planned;
// the next block must then take the next free block, not the one the move
// took.
TEST(EfuseWrite, ABlockThatNeedsAnExtraMoveNeverLandsOnTheNextBlocksPlannedPlace) {
  EfuseBoard board(Content{});
  board.bench.chip().faults().addWeakEfuseBit(28 * 16, 0);
  Bytes data(32);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0x11 * (i % 15 + 1));
  ASSERT_EQ(WriteEfuseLogicalRecord(board.configMemory(), 0x10, data), EfuseWriteResult::Written);
  Content expected{};
  expected.fill(0xFF);
  std::copy(data.begin(), data.end(), expected.begin() + 0x10);
  EXPECT_EQ(board.logical(), expected);
  EXPECT_EQ(EfuseFreeBlockCount(board.configMemory()), 26);  // 28 (abandoned), 27 and 26
}

// The logical content the test expects, worked out without the code under
// test: a write replaces its bytes; a block that was not mapped and gets
// something other than 0xFF is new, the rest of it reading 0x00 (a fresh
// block's blank bytes).
struct Model {
  Content image{};
  std::array<bool, 32> mapped{};

  // Blocks the write moves or newly maps: each costs one free block.
  int cost(std::uint16_t offset, const Bytes& data) const {
    int blocks = 0;
    for (std::size_t block = offset / 16; block <= (offset + data.size() - 1) / 16; ++block) {
      bool clears = false;
      bool content = false;
      for (std::size_t i = 0; i < data.size(); ++i) {
        if ((offset + i) / 16 != block) continue;
        clears = clears || (image[offset + i] & ~data[i]) != 0;
        content = content || data[i] != 0xFF;
      }
      blocks += mapped[block] ? clears : content;
    }
    return blocks;
  }
  void write(std::uint16_t offset, const Bytes& data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      const std::size_t block = (offset + i) / 16;
      if (!mapped[block] && data[i] != 0xFF) {
        for (std::size_t j = block * 16; j < block * 16 + 16; ++j) image[j] = 0x00;
        mapped[block] = true;
        for (std::size_t k = 0; k < data.size(); ++k)
          if ((offset + k) / 16 == block) image[offset + k] = data[k];
      }
    }
    for (std::size_t i = 0; i < data.size(); ++i)
      if (mapped[(offset + i) / 16]) image[offset + i] = data[i];
  }
};

TEST(EfuseWrite, RandomWritesUntilTheEfuseIsFullBurnWhatTheyForecastOrNothing) {
  EfuseBoard board;  // the factory board
  Model model;
  model.image = board.logical();
  for (std::size_t block = 0; block < 32; ++block) {
    std::uint16_t word = 0;
    model.mapped[block] = ReadEfuseLogicalWord(board.device, static_cast<std::uint16_t>(block * 16), word) !=
                          kEfuseUnmapped;
  }

  std::mt19937 random(20);
  const auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  int free = EfuseFreeBlockCount(board.configMemory());
  int refused = 0;
  int burnt = 0;
  int writes = 0;
  for (; writes < 200 || free > 0; ++writes) {
    ASSERT_LT(writes, 400) << "the eFuse never filled";
    const auto offset = static_cast<std::uint16_t>(uniform(0, 511));
    Bytes data(static_cast<std::size_t>(uniform(1, std::min(40, 512 - offset))));
    const int kind = uniform(0, 3);  // only adds bits, 0xFF, or anything
    for (std::size_t i = 0; i < data.size(); ++i) {
      const auto any = static_cast<std::uint8_t>(uniform(0, 255));
      data[i] = kind == 0 ? static_cast<std::uint8_t>(model.image[offset + i] | any) : kind == 1 ? 0xFF : any;
    }
    SCOPED_TRACE(::testing::Message() << "write " << writes << ": " << data.size() << " bytes at " << offset);

    const int cost = model.cost(offset, data);
    const Content before = board.burnt();
    const EfuseWritePlan plan = PlanEfuseWrite(board.configMemory(), offset, data);
    ASSERT_EQ(plan.freeBefore, free);
    ASSERT_EQ(plan.freshNeeded, cost);
    const EfuseWriteResult result = WriteEfuseLogicalRecord(board.configMemory(), offset, data);
    if (cost > free) {
      ++refused;
      ASSERT_FALSE(plan.canRun());
      ASSERT_NE(result, EfuseWriteResult::Written);
      ASSERT_EQ(board.burnt(), before) << "a refused write burnt something";
      continue;
    }
    ASSERT_EQ(result, EfuseWriteResult::Written);
    ASSERT_EQ(plan.freeAfter, free - cost);
    free = EfuseFreeBlockCount(board.configMemory());
    ASSERT_EQ(free, plan.freeAfter) << "the forecast was not what the write cost";
    model.write(offset, data);
    burnt += plan.blocks.empty() ? 0 : 1;
    if (writes % 16 == 0) {
      ASSERT_EQ(board.logical(), model.image);
    }
  }
  EXPECT_EQ(board.logical(), model.image);
  EXPECT_GE(writes, 200);
  EXPECT_GT(refused, 20);
  EXPECT_GT(burnt, 20);
}

}  // namespace
}  // namespace kqa::device
