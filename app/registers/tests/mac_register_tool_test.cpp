#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/device/tests/fake_device.h"
#include "app/registers/mac_register_tool.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::registers {
namespace {

using device::testing::FakeDevice;
using device::testing::TestBed;
using Outcome = page::Outcome;

constexpr std::size_t kSys = 0, kDma = 1, kMac = 2, kProgram = 3;

// The addresses of every call of `code`, in order.
std::vector<std::uint32_t> Addresses(const FakeDevice& chip, std::uint32_t code) {
  std::vector<std::uint32_t> addresses;
  for (const FakeDevice::Call& call : chip.callsOf(code))
    addresses.push_back(GetLe32(call.input, 0));
  return addresses;
}

class MacRegisterToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kqa-mac-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  TestBed bed;
  MacRegisterTool tool{bed.device};
  std::string folder_;
};

TEST_F(MacRegisterToolTest, EachBankIsReadWordByWordFromItsBase) {
  bed.chip.mac[0x0200] = 0x11111111;
  bed.chip.mac[0x03FC] = 0x22222222;
  tool.chooseBank(kDma);
  const std::vector<std::uint32_t> reads = Addresses(bed.chip, ioctl::VQ_OID_USB_VENDOR_MAC_READ);
  ASSERT_EQ(reads.size(), 128u);
  EXPECT_EQ(reads.front(), 0x0200u);
  EXPECT_EQ(reads.back(), 0x03FCu);
  EXPECT_EQ(tool.word(0), 0x11111111u);
  EXPECT_EQ(tool.word(127), 0x22222222u);
  // Word 0 sits little-endian at the start of the buffer the hex view shows.
  EXPECT_EQ(tool.regionBuffer()[0], 0x11);
  EXPECT_TRUE(bed.prompt.messages().empty());

  std::size_t lastDone = 0, lastTotal = 0;
  tool.progress = [&](std::size_t done, std::size_t total) { lastDone = done, lastTotal = total; };
  bed.chip.clearCalls();
  tool.chooseBank(kMac);
  EXPECT_EQ(Addresses(bed.chip, ioctl::VQ_OID_USB_VENDOR_MAC_READ).size(), 1024u);
  EXPECT_EQ(lastDone, 1024u);
  EXPECT_EQ(lastTotal, 1024u);
}

TEST_F(MacRegisterToolTest, ProgramMemoryIsReadWithItsEnableBitAndSkipsTheUntouchedRange) {
  bed.chip.mac[0x0400] = 0x00000003;
  bed.chip.mac[0x3800] = 0x12345678;
  tool.chooseBank(kProgram);

  EXPECT_EQ(bed.chip.macWrites(0x0400), (std::vector<std::uint32_t>{0x00010003, 0x00000003}));
  const std::vector<std::uint32_t> reads = Addresses(bed.chip, ioctl::VQ_OID_USB_VENDOR_MAC_READ);
  ASSERT_EQ(reads.size(), 2048u - 64u + 2u);  // plus the two reads of 0x0400
  EXPECT_EQ(reads.front(), 0x0400u);
  EXPECT_EQ(reads.back(), 0x0400u);
  for (std::uint32_t address : reads) EXPECT_FALSE(address >= 0x3800 && address <= 0x38FF);
  EXPECT_EQ(tool.word((0x3800 - 0x2000) / 4), 0x000000EEu);
  EXPECT_EQ(tool.word((0x38FC - 0x2000) / 4), 0x000000EEu);
  EXPECT_EQ(tool.word((0x3900 - 0x2000) / 4), 0u);

  // An enable register that cannot be read is never written back.
  bed.chip.clearCalls();
  bed.chip.failingMacReads = {0x0400};
  tool.chooseBank(kProgram);
  EXPECT_TRUE(bed.chip.macWrites(0x0400).empty());
}

TEST_F(MacRegisterToolTest, AFailedReadStopsTheBankWithOneMessage) {
  bed.chip.failingMacReads = {0x1010};
  bed.chip.mac[0x100C] = 0xC;
  EXPECT_EQ(tool.chooseBank(kMac), Outcome::Failed);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  EXPECT_EQ(Addresses(bed.chip, ioctl::VQ_OID_USB_VENDOR_MAC_READ).back(), 0x1010u);
  EXPECT_EQ(tool.word(3), 0xCu);
  EXPECT_EQ(tool.word(4), 0xFFFFFFFFu);
  EXPECT_EQ(tool.word(1023), 0xFFFFFFFFu);
}

TEST_F(MacRegisterToolTest, WithoutADeviceNothingIsShownOrSent) {
  bed.chip.present = false;
  tool.chooseBank(kSys);
  tool.single.direction = Direction::Write;
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Failed);  // silently: nothing is refused or shown
  EXPECT_TRUE(bed.prompt.messages().empty());
  EXPECT_TRUE(bed.chip.calls().empty());
  EXPECT_EQ(tool.word(0), 0u);
}

TEST_F(MacRegisterToolTest, FieldsThatAreNotHexadecimalNeverReachTheChip) {
  bed.chip.clearCalls();
  tool.single = {"1G", "0", Direction::Read};
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Refused);
  tool.single = {"10", "12 34", Direction::Write};
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Refused);
  tool.access = {"", "", Direction::Read};
  EXPECT_EQ(tool.accessReadWrite(), Outcome::Refused);
  tool.access = {"10", "x", Direction::Write};
  EXPECT_EQ(tool.accessReadWrite(), Outcome::Refused);
  EXPECT_TRUE(bed.chip.calls().empty());
  const std::vector<std::string> messages = bed.prompt.messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[1].rfind("Value: \"12 34\"", 0), 0u);  // the field that is wrong
}

TEST_F(MacRegisterToolTest, AccessModeUsesTheOffsetAsTheAddressInTheChosenWindow) {
  tool.chooseBank(kMac);
  bed.chip.sys[0x10] = 0xA5A5A5A5;
  bed.chip.clearCalls();
  tool.access = {"10", "", Direction::Read};
  tool.window = RegisterWindow::Sys;
  ASSERT_EQ(tool.accessReadWrite(), Outcome::Done);
  EXPECT_EQ(Addresses(bed.chip, ioctl::VQ_OID_USB_VENDOR_SYS_READ),
            std::vector<std::uint32_t>{0x10});
  EXPECT_EQ(tool.access.valueText, "A5A5A5A5");

  tool.access = {"0x20", "7", Direction::Write};
  tool.window = RegisterWindow::Absolute;
  ASSERT_EQ(tool.accessReadWrite(), Outcome::Done);
  EXPECT_EQ(bed.chip.abs[0x20], 7u);
}

TEST_F(MacRegisterToolTest, DumpWritesTheShownBankAsItStands) {
  bed.chip.mac[0x0000] = 0x5EC70000;
  tool.chooseBank(kSys);
  bed.prompt.answerFile(folder_ + "/regs");
  tool.dumpBank();
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"Dump MAC Registers Done!"});
  const ScriptedPrompt::Event& dialog = bed.prompt.events().front();
  EXPECT_EQ(dialog.kind, ScriptedPrompt::Kind::SaveFile);
  EXPECT_EQ(dialog.dialog.title, "Open File");
  EXPECT_EQ(dialog.dialog.filters, (std::vector<FileFilter>{{"Dump Files(*.txt)", "*.txt"}}));

  std::ifstream in(folder_ + "/regs.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 128u);
  EXPECT_EQ(lines[0], "0x0000      0x5EC70000");
  EXPECT_EQ(lines[127], "0x01FC      0x00000000");

  // A name holding ".txt" anywhere is kept; a file that cannot be written is
  // reported, not announced as done.
  bed.prompt.clear();
  bed.prompt.answerFile(folder_ + "/regs.txt.bak");
  tool.dumpBank();
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/regs.txt.bak"));
  bed.prompt.clear();
  bed.prompt.answerFile(folder_ + "/missing/regs.txt");
  EXPECT_EQ(tool.dumpBank(), Outcome::Failed);
  ASSERT_EQ(bed.prompt.messages().size(), 1u);
  EXPECT_EQ(bed.prompt.messages()[0].rfind("Dump MAC Registers failed!", 0), 0u);
}

TEST_F(MacRegisterToolTest, LoadFileWritesThePairsAndNamesTheLinesItSkipped) {
  tool.chooseBank(kMac);
  bed.chip.clearCalls();
  EXPECT_EQ(tool.loadRegisterFile(), Outcome::Cancelled);  // no answer: the bank is read again
  EXPECT_EQ(Addresses(bed.chip, ioctl::VQ_OID_USB_VENDOR_MAC_READ).size(), 1024u);
  EXPECT_TRUE(bed.prompt.messages().empty());
  bed.chip.clearCalls();
  bed.prompt.answerFile(folder_ + "/absent.mac");
  EXPECT_EQ(tool.loadRegisterFile(), Outcome::Failed);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"MAC Register File not found!"});
  EXPECT_TRUE(bed.chip.calls().empty());

  std::ofstream(folder_ + "/setup.mac") << "; bench set-up\n"
                                           "0x1004 0x0000000C\n"
                                           "1008 abc\n"
                                           "0x100C 12 34\n"
                                           "0x1004 0x8\n";
  bed.prompt.clear();
  bed.prompt.answerFile(folder_ + "/setup");  // no dot: ".mac" is added
  tool.loadRegisterFile();
  EXPECT_EQ(bed.chip.macWrites(0x1004), (std::vector<std::uint32_t>{0xC, 0x8}));
  EXPECT_EQ(bed.chip.macWrites(0x1008), std::vector<std::uint32_t>{0xABC});
  EXPECT_TRUE(bed.chip.macWrites(0x100C).empty());
  EXPECT_EQ(tool.word(1), 0x8u);  // the bank was read again
  ASSERT_EQ(bed.prompt.messages().size(), 1u);
  EXPECT_EQ(bed.prompt.messages()[0],
            "Wrote 3 registers from setup.mac through the 0x410000 window.\n"
            "Skipped 1 line(s) that are not an address and a value:\n"
            "  line 4: 0x100C 12 34");
}

TEST_F(MacRegisterToolTest, ADumpOfProgramMemoryReloadsWithoutTouchingTheUntouchedRange) {
  bed.chip.mac[0x2000] = 0xCAFE0001;
  bed.chip.mac[0x3FFC] = 0xCAFE0002;
  tool.chooseBank(kProgram);
  bed.prompt.answerFile(folder_ + "/program.txt");
  tool.dumpBank();

  bed.chip.mac[0x2000] = 0;
  bed.chip.mac[0x3FFC] = 0;
  bed.chip.clearCalls();
  bed.prompt.clear();
  bed.prompt.answerFile(folder_ + "/program.txt");
  tool.loadRegisterFile();

  EXPECT_EQ(bed.chip.mac[0x2000], 0xCAFE0001u);
  EXPECT_EQ(bed.chip.mac[0x3FFC], 0xCAFE0002u);
  for (std::uint32_t address = 0x3800; address < 0x3900; address += 4)
    EXPECT_TRUE(bed.chip.macWrites(address).empty());
  // Enabled around the writes and around the read that follows.
  EXPECT_EQ(bed.chip.macWrites(0x0400).size(), 4u);
  EXPECT_EQ(bed.chip.macWrites(0x0400).front() & 0x10000u, 0x10000u);
  EXPECT_EQ(bed.chip.macWrites(0x0400).back() & 0x10000u, 0u);
  ASSERT_EQ(bed.prompt.messages().size(), 1u);
  EXPECT_EQ(bed.prompt.messages()[0],
            "Wrote 1984 registers from program.txt through the 0x410000 window.\n"
            "Left 64 register(s) in 0x3800-0x38FF alone: the page never writes them.");
}

}  // namespace
}  // namespace kqa::registers
