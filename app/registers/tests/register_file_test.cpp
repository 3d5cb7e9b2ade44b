#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/registers/hex_field.h"
#include "app/registers/register_file.h"

namespace kqa::registers {
namespace {

TEST(HexField, TakesHexadecimalAndNothingElse) {
  EXPECT_EQ(ParseHexField("10"), 0x10u);
  EXPECT_EQ(ParseHexField(" 0x5ec70000 "), 0x5EC70000u);
  EXPECT_EQ(ParseHexField("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHexField("000000001"), 1u);  // leading zeros are not digits of the value
  for (const char* bad : {"", "   ", "0x", "12G4", "1 2", "-1", "100000000", "0x0x1", "1004h"})
    EXPECT_EQ(ParseHexField(bad), std::nullopt) << '"' << bad << '"';
}

TEST(HexField, TheMessageNamesTheFieldAndTheText) {
  EXPECT_EQ(HexFieldProblem("Offset", " 12G4"),
            "Offset: \"12G4\" is not a hexadecimal number.\n"
            "Enter up to 8 hexadecimal digits (0-9, A-F), for example 1004.");
  EXPECT_EQ(HexFieldProblem("Value", "").substr(0, 15), "Value is empty.");
}

TEST(RegisterFile, LinesOfARegisterFile) {
  RegisterPair pair{};
  EXPECT_EQ(ParseRegisterLine("0x0000      0x5EC70000\n", pair), LineKind::Pair);
  EXPECT_EQ(pair, (RegisterPair{0x0000, 0x5EC70000}));
  // The value is the second field wherever it starts.
  EXPECT_EQ(ParseRegisterLine("1010 22223333", pair), LineKind::Pair);
  EXPECT_EQ(pair, (RegisterPair{0x1010, 0x22223333}));
  EXPECT_EQ(ParseRegisterLine("\t0X1004\t0xa ; enable\r\n", pair), LineKind::Pair);
  EXPECT_EQ(pair, (RegisterPair{0x1004, 0xA}));

  for (const char* nothing : {"", "   \n", "; 0x1000 1", "  ;comment"})
    EXPECT_EQ(ParseRegisterLine(nothing, pair), LineKind::Nothing) << nothing;
  for (const char* bad : {"0x1000", "0x1000 zz", "hello world", "0x1000 1 2", "0x1000 1G"})
    EXPECT_EQ(ParseRegisterLine(bad, pair), LineKind::Malformed) << bad;
}

class RegisterFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kqa-regs-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

TEST_F(RegisterFileOnDisk, ADumpReadsBackAsTheSameRegisters) {
  const std::vector<std::uint32_t> words = {0x5EC70000, 0, 0xFFFFFFFF, 0x000000EE};
  const std::string path = folder_ + "/regs.txt";
  std::string error;
  ASSERT_TRUE(WriteRegisterDump(path, 0x0200, words, error)) << error;

  std::ifstream in(path);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "0x0200      0x5EC70000");

  RegisterFile file;
  ASSERT_TRUE(ReadRegisterFile(path, file));
  EXPECT_EQ(file.pairs, (std::vector<RegisterPair>{
                            {0x0200, 0x5EC70000}, {0x0204, 0}, {0x0208, 0xFFFFFFFF}, {0x020C, 0xEE}}));
  EXPECT_TRUE(file.malformed.empty());
}

TEST_F(RegisterFileOnDisk, MalformedLinesAreNamedAndSkipped) {
  const std::string path = folder_ + "/mixed.mac";
  std::ofstream(path) << "; settings\n0x1004 0x1\n0x1008 oops\r\n\n1010 2\nfoo\n";
  RegisterFile file;
  ASSERT_TRUE(ReadRegisterFile(path, file));
  EXPECT_EQ(file.pairs, (std::vector<RegisterPair>{{0x1004, 1}, {0x1010, 2}}));
  ASSERT_EQ(file.malformed.size(), 2u);
  EXPECT_EQ(file.malformed[0].number, 3);
  EXPECT_EQ(file.malformed[0].text, "0x1008 oops");
  EXPECT_EQ(file.malformed[1].number, 6);
}

TEST_F(RegisterFileOnDisk, FilesThatCannotBeOpenedOrWritten) {
  RegisterFile file;
  EXPECT_FALSE(ReadRegisterFile(folder_ + "/missing.mac", file));
  std::string error;
  const std::vector<std::uint32_t> words = {1};
  EXPECT_FALSE(WriteRegisterDump(folder_ + "/no/such/folder.txt", 0, words, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kqa::registers
