#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <vector>

#include "chip/efuse.h"
#include "chip/factory_image.h"
#include "chip/tests/test_host.h"

namespace kqa::chip {
namespace {

using namespace std::chrono_literals;
using testing::TestHost;

// The map byte of `block` as the host reads it back.
std::uint8_t MapByteOf(TestHost& host, int block) {
  const int at = static_cast<int>(Efuse::kMapStart) + block;
  return static_cast<std::uint8_t>(host.efusePhysicalRead(static_cast<std::uint16_t>(at & ~1)) >> (8 * (at & 1)));
}

void BurnMapByte(TestHost& host, int block, std::uint8_t value) {
  const int at = static_cast<int>(Efuse::kMapStart) + block;
  host.efusePhysicalWrite(static_cast<std::uint16_t>(at & ~1), static_cast<std::uint16_t>(value << (8 * (at & 1))));
}

// The eFuse page's count: the map bytes from the lowest free one to the highest.
int FreeBlocks(TestHost& host) {
  int first = -1;
  int last = -1;
  for (int block = 0; block < Efuse::kMappableBlocks; ++block) {
    if (MapByteOf(host, block) != 0) continue;
    if (first < 0) first = block;
    last = block;
  }
  return first < 0 ? 0 : last - first + 1;
}

class EfuseTest : public testing::ChipTest {};

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
  host.efusePhysicalWrite(0x12, 0x00F0);
  host.efusePhysicalWrite(0x12, 0x0F0F);
  host.efusePhysicalWrite(0x12, 0x0000);
  EXPECT_EQ(host.efusePhysicalRead(0x12), 0x0FFF);
  EXPECT_EQ(chip.efuseBytes()[0x12], 0xFF);
  EXPECT_EQ(chip.efuseBytes()[0x10], 0x00) << "the rest of the block stays blank";

  host.efusePhysicalWrite(0x200, 0xFFFF);
  EXPECT_EQ(host.efusePhysicalRead(0x200), 0x0000) << "no block beyond the part";
  EXPECT_EQ(host.efusePhysicalRead(0x000), 0x0000) << "no wrap-around onto block 0";

  chip.faults().addWeakEfuseBit(16 * 28, 0);
  host.efusePhysicalWrite(16 * 28, 0x0003);
  EXPECT_EQ(host.efusePhysicalRead(16 * 28), 0x0002) << "a weak bit fails to burn, the others burn";
}

TEST_F(EfuseTest, LogicalReadsFollowTheMapThroughARelocation) {
  std::uint16_t word = 0x1111;
  EXPECT_EQ(host.efuseLogicalRead(0x34, word), Efuse::kUnmapped);
  EXPECT_EQ(word, 0xFFFF);

  host.efusePhysicalWrite(16 * 28 + 4, 0x0022);
  BurnMapByte(host, 28, Efuse::MapByte(3));
  EXPECT_EQ(host.efuseLogicalRead(0x34, word), 28);
  EXPECT_EQ(word, 0x0022);

  // Relocated: the old entry gets one more bit, the new one is lower.
  BurnMapByte(host, 28, 0x04);
  EXPECT_EQ(host.efuseLogicalRead(0x34, word), Efuse::kUnmapped) << "an invalidated entry names nothing";
  host.efusePhysicalWrite(16 * 27 + 4, 0x1230);
  BurnMapByte(host, 27, Efuse::MapByte(3));
  EXPECT_EQ(host.efuseLogicalRead(0x34, word), 27);
  EXPECT_EQ(word, 0x1230);

  // Should an invalidation fail, the lower (newer) valid entry wins.
  host.efusePhysicalWrite(16 * 26 + 4, 0x4321);
  BurnMapByte(host, 26, Efuse::MapByte(3));
  EXPECT_EQ(host.efuseLogicalRead(0x34, word), 26);
  EXPECT_EQ(word, 0x4321);
}

TEST(EfuseAccounting, FreeBlocksCountFromTheLowestToTheHighestFreeMapByte) {
  VirtualClock clock;
  const auto freeBlocks = [&](std::vector<int> freeMapBytes) {
    Efuse::Content content{};
    for (std::size_t b = 0; b < Efuse::kMappableBlocks; ++b) content[Efuse::kMapStart + b] = 0x5A;
    for (int b : freeMapBytes) content[Efuse::kMapStart + static_cast<std::size_t>(b)] = 0;
    Kestrel chip(clock, {.completions = Completions::Stepped, .efuseContent = content});
    TestHost host(chip);
    return FreeBlocks(host);
  };
  EXPECT_EQ(freeBlocks({}), 0) << "every map byte non-zero";
  EXPECT_EQ(freeBlocks({10, 15}), 6);
  std::vector<int> all(Efuse::kMappableBlocks);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(freeBlocks(all), 29) << "every map byte zero";
}

TEST_F(EfuseTest, TheStrapTellsWhereTheConfigurationLivesAndTheFactoryBurntItThroughTheMap) {
  Kestrel efuseBoard(clock, {.board = Board::Efuse, .completions = Completions::Stepped});
  TestHost efuseHost(efuseBoard);
  EXPECT_EQ(host.read32(0x24) >> 31, 0u) << "the EEPROM board";
  EXPECT_EQ(efuseHost.read32(0x24) >> 31, 1u);
  efuseHost.write32(0x24, 0);
  EXPECT_EQ(efuseHost.read32(0x24) >> 31, 1u) << "the strap is read-only";
  EXPECT_EQ(FreeBlocks(efuseHost), 21) << "eight configuration blocks, the rest free";

  const Configuration expected = FactoryConfiguration(Board::Efuse, 1);
  for (std::uint16_t offset = 0; offset < 512; offset += 2) {
    std::uint16_t word = 0;
    efuseHost.efuseLogicalRead(offset, word);
    const std::uint16_t want = static_cast<std::uint16_t>(expected[offset] | expected[offset + 1u] << 8);
    ASSERT_EQ(word, want) << "offset 0x" << std::hex << offset;
  }
}

TEST_F(EfuseTest, TheBusyBitHoldsForInjectedReadsAndForTheProgrammingTime) {
  chip.faults().setBusyReads(BusyUnit::Efuse, 3);
  std::uint32_t before = host.efuseControlReads();
  host.efusePhysicalRead(0x00);
  EXPECT_EQ(host.efuseControlReads() - before, 4u) << "three busy reads, then clear";

  chip.faults().setBusyStuck(BusyUnit::Efuse, true);
  before = host.efuseControlReads();
  host.efusePhysicalWrite(0x00, 0xFFFF);
  EXPECT_EQ(host.efuseControlReads() - before, 100u + 500u) << "both waits give up";
  EXPECT_EQ(chip.efuseBytes()[0], 0x00) << "a write that never starts burns nothing";

  Kestrel timed(clock, {.timing = {.efuseProgram = 1ms}, .completions = Completions::Stepped});
  TestHost timedHost(timed);
  timedHost.write32(0x28, 0x000000AA);
  timedHost.write32(0x24, 0xC0u | 1u << 30);  // physical write of block 0
  EXPECT_NE(timedHost.read32(0x24) & (1u << 30), 0u);
  EXPECT_EQ(timed.efuseBytes()[0], 0x00) << "burnt when done, not before";
  clock.advance(1ms);
  EXPECT_EQ(timedHost.read32(0x24) & (1u << 30), 0u);
  EXPECT_EQ(timed.efuseBytes()[0], 0xAA);
}

}  // namespace
}  // namespace kqa::chip
