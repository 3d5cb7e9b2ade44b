#include <gtest/gtest.h>

#include <chrono>

#include "chip/efuse.h"
#include "chip/factory_image.h"
#include "chip/kestrel.h"
#include "chip/tests/test_host.h"
#include "platform/clock/virtual_clock.h"

namespace kqa::chip {
namespace {

using namespace std::chrono_literals;
using testing::TestHost;

constexpr std::uint16_t kMapStart = 480;

KestrelOptions Stepped(Board board = Board::Eeprom) {
  KestrelOptions options;
  options.board = board;
  options.completions = Completions::Stepped;
  return options;
}

class EfuseTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  Kestrel chip{clock, Stepped()};  // the EEPROM board: its eFuse is blank
  TestHost host{chip};

  std::uint8_t mapByteOf(int block) { return chip.efuseBytes()[kMapStart + static_cast<std::size_t>(block)]; }
  int lookup(std::uint16_t offset, std::uint16_t& word) { return host.efuseLogicalRead(offset, word); }
  bool writeWord(std::uint16_t offset, std::uint16_t value) {
    const std::uint8_t data[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    return host.efuseWriteLogical(offset, data);
  }
};

TEST(EfuseMap, MapBytesCarryTwoCheckBitsThatOneMoreBurntBitAlwaysBreaks) {
  EXPECT_EQ(Efuse::MapByte(0), 0xC0);
  EXPECT_EQ(Efuse::MapByte(1), 0x81);
  EXPECT_EQ(Efuse::MapByte(31), 0x5F);
  for (int logical = 0; logical < 63; ++logical) {
    const std::uint8_t entry = Efuse::MapByte(logical);
    ASSERT_TRUE(Efuse::IsValidMapByte(entry)) << logical;
    for (int bit = 0; bit < 8; ++bit) {
      if ((entry >> bit) & 1) continue;
      EXPECT_FALSE(Efuse::IsValidMapByte(static_cast<std::uint8_t>(entry | 1 << bit)))
          << "block " << logical << " with bit " << bit << " burnt";
    }
  }
  EXPECT_FALSE(Efuse::IsValidMapByte(0x00)) << "free";
  EXPECT_FALSE(Efuse::IsValidMapByte(0xFF)) << "63 is the unmapped answer, never a block";
}

TEST_F(EfuseTest, ProgrammingBurnsOnesAndNeverClearsABit) {
  host.efusePhysicalWrite(0x10, 0x00F0);
  host.efusePhysicalWrite(0x10, 0x0F0F);
  EXPECT_EQ(host.efusePhysicalRead(0x10), 0x0FFF);
  host.efusePhysicalWrite(0x10, 0x0000);
  EXPECT_EQ(host.efusePhysicalRead(0x10), 0x0FFF);
  EXPECT_EQ(chip.efuseBytes()[0x10], 0xFF);
  EXPECT_EQ(chip.efuseBytes()[0x11], 0x0F);
  EXPECT_EQ(chip.efuseBytes()[0x12], 0x00) << "the rest of the block stays blank";
}

TEST_F(EfuseTest, BlocksBeyondThePartReadZeroAndBurnNothing) {
  host.efusePhysicalWrite(0x200, 0xFFFF);
  EXPECT_EQ(host.efusePhysicalRead(0x200), 0x0000);
  EXPECT_EQ(host.efusePhysicalRead(0x000), 0x0000) << "no wrap-around onto block 0";
}

TEST_F(EfuseTest, UnmappedLogicalReadAnswers63) {
  std::uint16_t word = 0;
  EXPECT_EQ(lookup(0x34, word), Efuse::kUnmapped);
  EXPECT_EQ(word, 0xFFFF);
}

TEST_F(EfuseTest, WritesAllocateFromTheTopOfTheMapAndFollowItAfterARelocation) {
  ASSERT_TRUE(writeWord(0x34, 0x0022));
  EXPECT_EQ(mapByteOf(28), Efuse::MapByte(3)) << "the first free map byte is 508";
  std::uint16_t word = 0;
  EXPECT_EQ(lookup(0x34, word), 28);
  EXPECT_EQ(word, 0x0022);

  ASSERT_TRUE(writeWord(0x04, 0x4B02));
  EXPECT_EQ(mapByteOf(27), Efuse::MapByte(0)) << "then 507";
  ASSERT_TRUE(writeWord(0x36, 0x1234));
  EXPECT_EQ(lookup(0x36, word), 28) << "same logical block, programmed in place";

  // Only adding 1-bits: programmed in place.
  ASSERT_TRUE(writeWord(0x36, 0x1236));
  EXPECT_EQ(lookup(0x36, word), 28);
  EXPECT_EQ(word, 0x1236);
  EXPECT_EQ(host.efuseFreeBlockCount(), 27);

  // Clearing a bit fails verification: the merged block moves to block 26,
  // and the old map byte gets one more bit, which invalidates it.
  ASSERT_TRUE(writeWord(0x36, 0x1230));
  EXPECT_EQ(lookup(0x36, word), 26);
  EXPECT_EQ(word, 0x1230);
  EXPECT_EQ(lookup(0x34, word), 26);
  EXPECT_EQ(word, 0x0022) << "the other words of the block moved with it";
  EXPECT_FALSE(Efuse::IsValidMapByte(mapByteOf(28)));
  EXPECT_EQ(mapByteOf(28), Efuse::MapByte(3) | 0x04) << "0xC3 with its lowest clear bit burnt";
  EXPECT_EQ(lookup(0x04, word), 27) << "other blocks are untouched";
  EXPECT_EQ(host.efuseFreeBlockCount(), 26);
}

TEST_F(EfuseTest, WholeBlockWriteGoesToOneBlockWithOneMapByte) {
  std::uint8_t block[16];
  for (int i = 0; i < 16; ++i) block[i] = static_cast<std::uint8_t>(0x10 + i);
  ASSERT_TRUE(host.efuseWriteLogical(0x1F0, block));
  std::uint16_t word = 0;
  EXPECT_EQ(lookup(0x1FE, word), 28);
  EXPECT_EQ(word, 0x1F1E);
  EXPECT_EQ(mapByteOf(28), 0x5F);
}

TEST_F(EfuseTest, ABitThatFailsToBurnMovesTheBlockOnAndTheLookupFollows) {
  chip.faults().addWeakEfuseBit(16 * 28, 0);  // word 0 of block 28
  ASSERT_TRUE(writeWord(0x00, 0x0001));
  std::uint16_t word = 0;
  EXPECT_EQ(lookup(0x00, word), 27);
  EXPECT_EQ(word, 0x0001);
  EXPECT_FALSE(Efuse::IsValidMapByte(mapByteOf(28)));
}

TEST_F(EfuseTest, AFullMapRefusesNewBlocksAndBurnsNothing) {
  Efuse::Content full{};
  for (std::size_t b = 0; b < Efuse::kMappableBlocks; ++b)
    full[kMapStart + b] = Efuse::MapByte(static_cast<int>(b));  // logical blocks 0..28
  auto options = Stepped();
  options.efuseContent = full;
  Kestrel fullChip(clock, options);
  TestHost fullHost(fullChip);
  EXPECT_EQ(fullHost.efuseFreeBlockCount(), 0);
  const std::uint8_t data[2] = {0x01, 0x00};
  EXPECT_FALSE(fullHost.efuseWriteLogical(0x1E0, data)) << "logical block 30 has no room";
  ASSERT_TRUE(fullHost.efuseWriteLogical(0x00, std::vector<std::uint8_t>{0x01, 0x00})) << "adding bits still works";
  // Clearing a bit of a mapped block with no free block: refused before programming.
  EXPECT_FALSE(fullHost.efuseWriteLogical(0x00, std::vector<std::uint8_t>{0x00, 0x80}));
  auto expected = full;
  expected[16 * 0] = 0x01;
  EXPECT_EQ(fullChip.efuseBytes(), expected);
}

TEST(EfuseAccounting, KnownMapContentsCountAsThePageCountsThem) {
  VirtualClock clock;
  auto count = [&](const Efuse::Content& content) {
    auto options = Stepped();
    options.efuseContent = content;
    Kestrel chip(clock, options);
    TestHost host(chip);
    return host.efuseFreeBlockCount();
  };
  Efuse::Content content{};
  EXPECT_EQ(count(content), 29) << "all map bytes zero";
  for (std::size_t a = 480; a <= 508; ++a) content[a] = 0x5A;
  EXPECT_EQ(count(content), 0) << "all map bytes non-zero";
  content[490] = 0;
  content[495] = 0;
  EXPECT_EQ(count(content), 6) << "from the lowest to the highest free byte";
  content = {};
  content[508] = 0xC0;
  content[509] = 0xFF;  // past the map: not a block
  EXPECT_EQ(count(content), 28);
}

TEST(EfuseLookup, WhenAnInvalidationFailedTheNewerLowerBlockWins) {
  Efuse::Content content{};
  content[kMapStart + 28] = Efuse::MapByte(2);
  content[kMapStart + 27] = Efuse::MapByte(2);
  content[16 * 27] = 0x27;
  content[16 * 28] = 0x28;
  Efuse efuse(content);
  EXPECT_EQ(efuse.lookup(2), 27);
  EXPECT_EQ(efuse.lookup(3), Efuse::kUnmapped);
}

TEST(EfuseBoards, TheStrapTellsWhereTheConfigurationLivesAndTheFactoryBurntItThroughTheMap) {
  VirtualClock clock;
  Kestrel eepromBoard(clock, Stepped(Board::Eeprom));
  Kestrel efuseBoard(clock, Stepped(Board::Efuse));
  TestHost eepromHost(eepromBoard);
  TestHost efuseHost(efuseBoard);

  EXPECT_EQ(eepromHost.read32(0x24) >> 31, 0u);
  EXPECT_EQ(efuseHost.read32(0x24) >> 31, 1u);
  efuseHost.write32(0x24, 0);
  EXPECT_EQ(efuseHost.read32(0x24) >> 31, 1u) << "the strap is read-only";

  EXPECT_EQ(eepromHost.efuseFreeBlockCount(), 29);
  EXPECT_EQ(efuseHost.efuseFreeBlockCount(), 21) << "eight configuration blocks, the rest free";

  const Configuration expected = FactoryConfiguration(Board::Efuse, 1);
  for (std::uint16_t offset = 0; offset < 512; offset += 2) {
    std::uint16_t word = 0;
    efuseHost.efuseLogicalRead(offset, word);
    const std::uint16_t want = static_cast<std::uint16_t>(expected[offset] | expected[offset + 1u] << 8);
    ASSERT_EQ(word, want) << "offset 0x" << std::hex << offset;
  }
}

TEST_F(EfuseTest, TheBusyBitHoldsForTheProgrammingTimeAndForInjectedReads) {
  chip.faults().setBusyReads(BusyUnit::Efuse, 3);
  const std::uint32_t before = host.efuseControlReads();
  host.efusePhysicalRead(0x00);
  EXPECT_EQ(host.efuseControlReads() - before, 4u) << "three busy reads, then clear";
  chip.faults().setBusyReads(BusyUnit::Efuse, 0);

  chip.faults().setBusyStuck(BusyUnit::Efuse, true);
  const std::uint32_t stuckStart = host.efuseControlReads();
  host.efusePhysicalWrite(0x00, 0xFFFF);
  EXPECT_EQ(host.efuseControlReads() - stuckStart, 100u + 500u) << "both waits give up";
  EXPECT_EQ(chip.efuseBytes()[0], 0x00) << "a write that never starts burns nothing";
  chip.faults().setBusyStuck(BusyUnit::Efuse, false);
}

TEST(EfuseTiming, ProgrammingTakesItsTimeOnTheChipsClock) {
  VirtualClock clock;
  auto options = Stepped();
  options.timing.efuseProgram = 1ms;
  Kestrel chip(clock, options);
  TestHost host(chip);
  host.write32(0x28, 0x000000AA);
  host.write32(0x24, 0xC0u | 1u << 30);  // physical write of block 0
  EXPECT_NE(host.read32(0x24) & (1u << 30), 0u);
  EXPECT_EQ(chip.efuseBytes()[0], 0x00) << "burnt when done, not before";
  clock.advance(1ms);
  EXPECT_EQ(host.read32(0x24) & (1u << 30), 0u);
  EXPECT_EQ(chip.efuseBytes()[0], 0xAA);
}

}  // namespace
}  // namespace kqa::chip
