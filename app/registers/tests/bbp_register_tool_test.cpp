// The BBP pages' logic: the traffic on the fake device, the tables on the
// emulated chip.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/device/tests/emulated_rig.h"
#include "app/device/register_access.h"
#include "app/device/tests/fake_device.h"
#include "app/device/text_format.h"
#include "app/registers/bbp_register_tool.h"

namespace kqa::registers {
namespace {

using device::Format;
using device::testing::RigBed;
using device::testing::TestBed;
using Outcome = page::Outcome;

// The BBP accesses the fake saw, from the commands written to MAC 0x101C:
// "R12" reads R12, "W187=05" writes 0x05 to R187.
std::vector<std::string> BbpAccesses(const device::testing::FakeDevice& chip) {
  std::vector<std::string> accesses;
  for (std::uint32_t command : chip.macWrites(0x101C)) {
    const unsigned id = command >> 8 & 0xFF;
    if ((command & 0xF0000) == 0xB0000) accesses.push_back(Format("R%u", id));
    if ((command & 0xF0000) == 0xA0000) accesses.push_back(Format("W%u=%02X", id, command & 0xFF));
  }
  return accesses;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kqa-bbp-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string file(const std::string& name) const { return folder_ + "/" + name; }

  std::string folder_;
};

TEST(BbpRegisterTool, EachPageReadsItsRegistersInGridOrderAndNothingElse) {
  TestBed bed;
  bed.chip.bbp[137] = 0x37;
  bed.chip.bbp[250] = 0xFA;
  BbpRegisterTool page3(bed.configMemory(), BbpPage::Three);
  EXPECT_EQ(page3.readAll(), Outcome::Done);
  std::vector<std::string> expected;
  for (int reg = 137; reg <= 199; ++reg) expected.push_back(Format("R%d", reg));
  for (int reg = 248; reg <= 250; ++reg) expected.push_back(Format("R%d", reg));
  EXPECT_EQ(BbpAccesses(bed.chip), expected);
  EXPECT_EQ(page3.values().front(), 0x37);
  EXPECT_EQ(page3.values().back(), 0xFA);

  EXPECT_EQ(BbpPageRegisters(BbpPage::One).size(), 112u);
  EXPECT_EQ(BbpPageRegisters(BbpPage::One).back(), 111);
  EXPECT_EQ(BbpPageRegisters(BbpPage::Two).front(), 112);
  EXPECT_EQ(BbpPageRegisters(BbpPage::Two).back(), 136);
}

TEST(BbpRegisterTool, TheSingleBoxCutsToEightBitsAndRefusesWhatIsNoNumber) {
  TestBed bed;
  BbpRegisterTool tool(bed.configMemory(), BbpPage::One);
  tool.single = {"300", "1A5", Direction::Write};  // R44 = 0xA5
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Done);
  EXPECT_EQ(bed.chip.bbp[44], 0xA5);
  tool.single = {"44", "", Direction::Read};
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Done);
  EXPECT_EQ(tool.single.valueText, "A5");
  EXPECT_TRUE(bed.prompt.messages().empty());

  bed.chip.clearCalls();
  for (const RegisterFields& typo :
       {RegisterFields{"4x", "00", Direction::Write}, RegisterFields{"", "00", Direction::Read},
        RegisterFields{"12", "G0", Direction::Write}}) {
    tool.single = typo;
    EXPECT_EQ(tool.singleReadWrite(), Outcome::Refused);
  }
  EXPECT_TRUE(bed.chip.macWrites(0x101C).empty()) << "nothing reaches the chip";
  const std::vector<std::string> messages = bed.prompt.messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_NE(messages[0].find("Register ID: \"4x\" is not a decimal number"), std::string::npos);
  EXPECT_NE(messages[1].find("Register ID is empty"), std::string::npos);
  EXPECT_NE(messages[2].find("Value: \"G0\" is not a hexadecimal number"), std::string::npos);
}

TEST_F(Folder, TheRegisterSetIsSavedWithItsTablePairsAndReloadsInFileOrder) {
  TestBed bed;
  for (int reg = 0; reg < 256; ++reg)
    bed.chip.bbp[static_cast<std::size_t>(reg)] = static_cast<std::uint8_t>(reg ^ 0x5A);
  BbpRegisterTool tool(bed.configMemory(), BbpPage::One);
  ASSERT_EQ(tool.saveRegisterSet(file("set.txt")), Outcome::Done);
  const std::string text = ReadAll(file("set.txt"));
  EXPECT_TRUE(text.starts_with("000 = 5A\n001 = 5B\n")) << text.substr(0, 20);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 354);
  // The fake keeps R196 as plain storage: each pair reads back what R196 holds.
  EXPECT_NE(text.find("255 = A5\n195 = 00\n196 = 9E\n195 = 01\n196 = 9E\n"), std::string::npos);

  {
    std::ofstream edit(file("set.txt"), std::ios::app);
    edit << "; a comment\n300 = 01\n007 = zz\n";
  }
  bed.chip.eeprom[0x34] = 0x11;  // one receive path: R66 is written through R27
  bed.chip.clearCalls();
  EXPECT_EQ(tool.loadRegisterSet(file("set.txt")), Outcome::Done);
  EXPECT_EQ(tool.written(), 354u);
  const std::vector<std::string> accesses = BbpAccesses(bed.chip);
  ASSERT_EQ(accesses.size(), 354u + 2u + 112u) << "R66's path selection, then the grid's reads";
  EXPECT_EQ(accesses[0], "W0=5A");
  EXPECT_EQ(accesses[66], "R27");
  EXPECT_EQ(accesses[67], "W27=01");  // R27 as line 27 wrote it (0x41), path 0 selected
  EXPECT_EQ(accesses[68], "W66=18");
  EXPECT_EQ(accesses[257], "W255=A5");
  EXPECT_EQ(accesses[258], "W195=00");
  EXPECT_EQ(accesses[259], "W196=9E");
  EXPECT_EQ(accesses[356], "R0") << "then the page reads its registers";
  ASSERT_EQ(bed.prompt.messages().size(), 1u);
  EXPECT_EQ(bed.prompt.messages()[0],
            "Wrote 354 register(s) from " + file("set.txt") +
                ".\nSkipped 2 line(s) that are not \"register = value\":\n"
                "  line 356: 300 = 01\n  line 357: 007 = zz");
}

TEST_F(Folder, TablesMoveWholeThroughTheirRegistersAndThePapdWriteWraps) {
  RigBed bed;
  device::RegisterAccess registers(bed.device);
  std::uint8_t r4 = 0x03;
  registers.AccessBbpRegister(device::kRegisterWrite, 4, r4);
  BbpRegisterTool tool(bed.configMemory(), BbpPage::One);

  ASSERT_EQ(tool.dumpTable(BbpTable::Gain, file("184.txt")), Outcome::Done);
  const std::string gain = ReadAll(file("184.txt"));
  EXPECT_TRUE(gain.starts_with("0x00\n0x02\n0x04\n"));
  EXPECT_EQ(gain.find("0xFC\n0xFE\n0xFE\n"), 126u * 5) << "entry 126 = 0xFC, then 0xFE to the end";
  EXPECT_EQ(gain.size(), 256u * 5);
  ASSERT_EQ(tool.dumpTable(BbpTable::Filter, file("195.txt")), Outcome::Done);
  EXPECT_TRUE(ReadAll(file("195.txt")).starts_with("0x03\n0x0A\n0x11\n"));

  {
    std::ofstream papd(file("papd.txt"));
    for (int i = 0; i < 300; ++i) papd << Format("0x%02X\n", i < 256 ? 0x80 : 0x40 + i - 256);
  }
  ASSERT_EQ(tool.writePapdTable(file("papd.txt")), Outcome::Done);
  EXPECT_EQ(tool.written(), 300u);
  const auto papd =
      bed.bench.chip().withRadio([](chip::RadioSide& r) { return r.bbpTables().papd(); });
  EXPECT_EQ(papd[0], 0x40) << "line 256 wrapped to entry 0";
  EXPECT_EQ(papd[43], 0x6B) << "line 299";
  EXPECT_EQ(papd[44], 0x80) << "written once";
  EXPECT_EQ(papd[255], 0x80);
  EXPECT_EQ(bed.bench.chip().peekBbp(4), 0x03) << "R4 is put back";

  ASSERT_EQ(tool.dumpTable(BbpTable::Papd, file("papd-dump.txt")), Outcome::Done);
  EXPECT_TRUE(ReadAll(file("papd-dump.txt")).starts_with("0x40\n0x41\n"));
  EXPECT_EQ(bed.bench.chip().peekBbp(4), 0x03);
  EXPECT_TRUE(bed.prompt.messages().empty());

  // A line that is not a byte refuses the file before anything is sent.
  std::ofstream(file("bad.txt")) << "0x01\n0x02\n0x1FF\n";
  EXPECT_EQ(tool.writePapdTable(file("bad.txt")), Outcome::Refused);
  EXPECT_EQ(bed.prompt.messages().back(),
            "PAPD Write refused, nothing was written: Line 3: \"0x1FF\" is not a value from 0 to "
            "0xFF.");
  EXPECT_EQ(bed.bench.chip().withRadio([](chip::RadioSide& r) { return r.bbpTables().papd()[0]; }),
            0x40);
}

TEST_F(Folder, AFailedReadWritesNoFile) {
  TestBed bed;
  bed.chip.failAlways(0x223480, 31);  // every MAC read
  BbpRegisterTool tool(bed.configMemory(), BbpPage::One);
  EXPECT_EQ(tool.saveRegisterSet(file("set.txt")), Outcome::Failed);
  EXPECT_FALSE(std::filesystem::exists(file("set.txt")));
  EXPECT_EQ(bed.prompt.messages().back(),
            "Save Bbp Regs stopped: R0 could not be read; no file was written.");
}

}  // namespace
}  // namespace kqa::registers
