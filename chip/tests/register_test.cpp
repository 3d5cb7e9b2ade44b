#include <gtest/gtest.h>

#include <vector>

#include "chip/tests/test_host.h"

namespace kqa::chip {
namespace {

using testing::TestHost;
using usb::TransferStatus;

class RegisterTest : public testing::ChipTest {};

TEST_F(RegisterTest, TheIdentityIsReadOnlyAndAChipThatIsNotUpAnswersAllOnes) {
  host.write32(0x0000, 0x12345678);
  EXPECT_EQ(host.read32(0x0000), 0x5EC70000u);
  Kestrel revised(clock, {.revision = 0x0203, .completions = Completions::Stepped});
  EXPECT_EQ(TestHost(revised).read32(0x0000), 0x5EC70203u);

  chip.faults().failIdentity(3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(host.read32(0x0000), 0xFFFFFFFFu);
  EXPECT_EQ(host.read32(0x0000), 0x5EC70000u);
  chip.faults().failIdentity();
  EXPECT_EQ(host.read32(0x0000), 0xFFFFFFFFu);
  EXPECT_EQ(chip.peekRegister(0x0000), 0x5EC70000u) << "inspection is not a host read";
}

TEST_F(RegisterTest, OneTwoFourAndManyByteAccessesAreLittleEndianBytes) {
  host.write32(0x1004, 0x44332211);
  std::uint8_t one[1];
  ASSERT_TRUE(host.vendorIn(0x07, 0, 0x1006, one).ok());
  EXPECT_EQ(one[0], 0x33);
  const std::uint8_t byte[1] = {0xAA};
  ASSERT_TRUE(host.vendorOut(0x06, 0, 0x1005, byte).ok());
  EXPECT_EQ(host.read32(0x1004), 0x4433AA11u) << "a byte write changes one byte";

  std::vector<std::uint8_t> block(10);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i + 1);
  ASSERT_TRUE(host.vendorOut(0x06, 0, 0x1102, block).ok());
  EXPECT_EQ(host.read32(0x1100), 0x02010000u);
  EXPECT_EQ(host.read32(0x1104), 0x06050403u);
  EXPECT_EQ(host.read32(0x110C), 0x00000000u);
  std::vector<std::uint8_t> back(10);
  ASSERT_TRUE(host.vendorIn(0x07, 0, 0x1102, back).ok());
  EXPECT_EQ(back, block);

  // A 16-bit write sets one half: the value travels in wValue, with no data stage.
  ASSERT_TRUE(host.vendorOut(0x02, 0x5678, 0x13B0).ok());
  ASSERT_TRUE(host.vendorOut(0x02, 0x1234, 0x13B2).ok());
  EXPECT_EQ(host.read32(0x13B0), 0x12345678u);
  EXPECT_EQ(host.vendorOut(0x02, 0, 0x13B0, std::vector<std::uint8_t>(2)).status, TransferStatus::Stall);
}

TEST_F(RegisterTest, TheFourSpacesAreSeparate) {
  const std::uint8_t writeRequests[] = {0x06, 0x46, 0x26, 0x16};  // MAC, SYS, "0x00000000", alternate
  for (std::uint32_t i = 0; i < 4; ++i) host.write32(0x0230, 0x11111111u * (i + 1), writeRequests[i]);
  for (std::uint32_t i = 0; i < 4; ++i)
    EXPECT_EQ(host.read32(0x0230, static_cast<std::uint8_t>(writeRequests[i] + 1)), 0x11111111u * (i + 1));
  EXPECT_EQ(host.read32(0x0000, 0x47), 0u) << "the identity lives in the MAC space only";
}

TEST_F(RegisterTest, BbpAndRfCommandsGoThroughTheirCommandRegistersAndR27SelectsThePathOfR66) {
  host.bbpWrite(5, 0x5A);
  EXPECT_EQ(chip.peekBbp(5), 0x5A);
  EXPECT_EQ(host.bbpRead(5), 0x5A);
  EXPECT_EQ(chip.peekRegister(0x101C), 0x9055Au) << "the read command, done (bit 17 clear), result in bits 0-7";

  for (std::uint8_t path = 0; path < 3; ++path) {
    host.bbpWrite(27, static_cast<std::uint8_t>(path << 5));
    host.bbpWrite(66, static_cast<std::uint8_t>(0x1C + 0x10 * path));
  }
  EXPECT_EQ(chip.peekBbpGain(0), 0x1C);
  EXPECT_EQ(chip.peekBbpGain(1), 0x2C);
  EXPECT_EQ(chip.peekBbpGain(2), 0x3C);
  host.bbpWrite(27, 0x20);
  EXPECT_EQ(host.bbpRead(66), 0x2C);

  // RF commands address sixteen banks of sixty-four registers.
  host.write32(0x0500, 0xC0008A5A);  // bank 2, register 10
  EXPECT_EQ(chip.peekRf(2, 10), 0x5A);
  host.rfWrite(15, 63, 0x99);
  EXPECT_EQ(host.rfRead(15, 63), 0x99);
  EXPECT_EQ(host.rfRead(0, 63), 0x00) << "banks are separate";
}

TEST_F(RegisterTest, BusyBitsHoldForInjectedReadsAndAStuckOneNeverClears) {
  host.bbpWrite(7, 0x77);
  chip.faults().setBusyReads(BusyUnit::Bbp, 2);
  const int before = host.polls();
  EXPECT_EQ(host.bbpRead(7), 0x77);
  EXPECT_EQ(host.polls() - before, 1 + 3) << "idle before the command, then two busy reads";

  chip.faults().setBusyStuck(BusyUnit::Rf, true);
  const int stuckStart = host.polls();
  host.rfWrite(0, 12, 0x24);
  EXPECT_EQ(host.polls() - stuckStart, 10) << "the device layer gives up after ten reads";
  EXPECT_EQ(chip.peekRf(0, 12), 0) << "the command never ran";
  EXPECT_NE(host.read32(0x0500) & 0x80000000u, 0u);
  chip.faults().setBusyStuck(BusyUnit::Rf, false);
  host.rfWrite(0, 12, 0x24);
  EXPECT_EQ(chip.peekRf(0, 12), 0x24);

  // The RF serial word is shifted out while bit 31 reads busy.
  std::vector<std::uint32_t> words;
  chip.withCore([&](ChipCore& core) { core.rfSerial().setSink([&](std::uint32_t w) { words.push_back(w); }); });
  chip.faults().setBusyReads(BusyUnit::RfSerial, 2);
  host.write32(0x1020, 0x00123456);
  EXPECT_EQ(host.read32(0x1020), 0x80123456u);
  host.write32(0x1020, 0x00ABCDEF);  // dropped: the engine is busy
  EXPECT_TRUE(words.empty()) << "shifted out when done";
  EXPECT_EQ(host.read32(0x1020), 0x80123456u);
  EXPECT_EQ(host.read32(0x1020), 0x00123456u);
  EXPECT_EQ(words, (std::vector<std::uint32_t>{0x00123456}));
}

TEST_F(RegisterTest, MemoryWindowsFollowTheBankSelectionOf0x0400) {
  host.write32(0x2000, 0xAAAA0001);
  EXPECT_EQ(host.read32(0x2000), 0u) << "program memory hidden while bit 16 is clear";
  host.write32(0x0400, 0x00010000);
  host.write32(0x2000, 0xAAAA0001);
  EXPECT_EQ(host.read32(0x2000), 0xAAAA0001u);
  EXPECT_EQ(host.read32(0x3800), 0x000000EEu);
  EXPECT_EQ(host.read32(0x38FC), 0x000000EEu);
  EXPECT_EQ(host.read32(0x3900), 0u);

  host.write32(0x0400, 0x00000C00);
  host.write32(0x4000, 0x51);
  host.write32(0x8000, 0x50);
  host.write32(0x0400, 0x000A0C00);  // shared bank 1, packet buffer bank 1
  EXPECT_EQ(host.read32(0x4000), 0u);
  EXPECT_EQ(host.read32(0x8000), 0u);
  host.write32(0x4000, 0x61);
  host.write32(0xFFFC, 0x60);
  host.write32(0x0400, 0x00000C00);
  EXPECT_EQ(host.read32(0x4000), 0x51u);
  EXPECT_EQ(host.read32(0x8000), 0x50u);
  EXPECT_EQ(host.read32(0xFFFC), 0u);
  host.write32(0x0400, 0x00060000);  // bit 18 is not decoded
  EXPECT_EQ(host.read32(0xFFFC), 0x60u);
  chip.withCore([](ChipCore& core) { EXPECT_EQ(core.memory().packetBuffer(1).back(), 0x60u); });
}

}  // namespace
}  // namespace kqa::chip
