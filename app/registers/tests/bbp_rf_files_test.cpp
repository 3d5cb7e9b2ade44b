// The BBP register-set, RF register and table file formats, pinned line by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "app/registers/bbp_set_file.h"
#include "app/registers/hex_field.h"
#include "app/registers/rf_register_file.h"
#include "app/registers/table_file.h"

namespace kqa::registers {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "every line ends with a newline";
  return lines;
}

TEST(BbpSetFile, R0ToR255ThenFortyNineIndexAndEntryPairs) {
  std::array<std::uint8_t, 256> registers{};
  registers[0] = 0x5A;
  registers[255] = 0x0C;
  std::array<std::uint8_t, 49> entries{};
  entries[0] = 0xE1;
  entries[48] = 0x7F;
  const std::vector<std::string> lines = Lines(FormatBbpRegisterSet(registers, entries));
  ASSERT_EQ(lines.size(), 354u);
  EXPECT_EQ(lines[0], "000 = 5A");
  EXPECT_EQ(lines[7], "007 = 00");
  EXPECT_EQ(lines[255], "255 = 0C");
  EXPECT_EQ(lines[256], "195 = 00");
  EXPECT_EQ(lines[257], "196 = E1");
  EXPECT_EQ(lines[352], "195 = 30");  // index 48
  EXPECT_EQ(lines[353], "196 = 7F");
}

TEST(BbpSetFile, LinesReadAsRegisterEqualsValue) {
  struct Case {
    const char* line;
    LineKind kind;
    BbpWrite write;
  };
  const Case cases[] = {
      {"000 = 1A", LineKind::Pair, {0, 0x1A}},
      {"   255 = ff   ; comment", LineKind::Pair, {255, 0xFF}},
      {"66=0x1C", LineKind::Pair, {66, 0x1C}},
      {"7 = 5", LineKind::Pair, {7, 0x05}},
      {"", LineKind::Nothing, {}},
      {"  ; 12 = 34", LineKind::Nothing, {}},
      {"256 = 00", LineKind::Malformed, {}},  // no register 256, not R0
      {"12 = 1FF", LineKind::Malformed, {}},  // wider than the register
      {"12 = G1", LineKind::Malformed, {}},
      {"R12 = 1F", LineKind::Malformed, {}},
      {"12 1F", LineKind::Malformed, {}},
      {"12 =", LineKind::Malformed, {}},
  };
  for (const Case& c : cases) {
    BbpWrite write{0xEE, 0xEE};
    EXPECT_EQ(ParseBbpSetLine(c.line, write), c.kind) << c.line;
    if (c.kind == LineKind::Pair) {
      EXPECT_EQ(write, c.write) << c.line;
    }
  }
}

TEST(RfRegisterFile, BankRegisterValueLines) {
  EXPECT_EQ(FormatRfRegisterLine({0, 0, 0x5A}), "0 000 5A\n");
  EXPECT_EQ(FormatRfRegisterLine({15, 63, 0x0F}), "15 063 0F\n");
  struct Case {
    const char* line;
    LineKind kind;
    RfRegisterValue entry;
  };
  const Case cases[] = {
      {"5 035 20", LineKind::Pair, {5, 35, 0x20}},
      {"\t0 4 0x80 ; VCO", LineKind::Pair, {0, 4, 0x80}},
      {";0 4 80", LineKind::Nothing, {}},
      {"16 000 00", LineKind::Malformed, {}},
      {"0 64 00", LineKind::Malformed, {}},
      {"0 1 1FF", LineKind::Malformed, {}},
      {"0 1", LineKind::Malformed, {}},
      {"0 1 2 3", LineKind::Malformed, {}},
      {"A 1 2", LineKind::Malformed, {}},
  };
  for (const Case& c : cases) {
    RfRegisterValue entry{};
    EXPECT_EQ(ParseRfRegisterLine(c.line, entry), c.kind) << c.line;
    if (c.kind == LineKind::Pair) {
      EXPECT_EQ(entry, c.entry) << c.line;
    }
  }
}

TEST(TableFile, EntryPerLineAndValuesCheckedAgainstTheirWidth) {
  std::array<std::uint8_t, 3> table = {0x00, 0xAB, 0x07};
  EXPECT_EQ(FormatTableLines(table), "0x00\n0xAB\n0x07\n");

  std::vector<std::uint32_t> values;
  std::string problem;
  EXPECT_TRUE(ParseHexLines({"0x1F", "", " ff ", "0X02"}, values, problem, 0xFF));
  EXPECT_EQ(values, (std::vector<std::uint32_t>{0x1F, 0xFF, 0x02}));
  EXPECT_FALSE(ParseHexLines({"0x1F", "0x1FF"}, values, problem, 0xFF));
  EXPECT_EQ(problem, "Line 2: \"0x1FF\" is not a value from 0 to 0xFF.");
}

TEST(Fields, DecimalRegisterNumbersAndBytes) {
  EXPECT_EQ(ParseDecimalField(" 300 "), 300u);
  EXPECT_EQ(ParseDecimalField("044"), 44u);
  for (const char* bad : {"", "12G", "-1", "0x10", "1 2", "99999999999"})
    EXPECT_FALSE(ParseDecimalField(bad)) << bad;
  EXPECT_EQ(ParseByteField("0xA5"), 0xA5);
  EXPECT_FALSE(ParseByteField("100"));
  EXPECT_NE(DecimalFieldProblem("Register ID", "12G").find("\"12G\" is not a decimal number"),
            std::string::npos);
}

}  // namespace
}  // namespace kqa::registers
