// Fields and lines; whole register files on disk are read and written in
// mac_register_tool_test.cpp, through the tool that uses them.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace kqa::registers
