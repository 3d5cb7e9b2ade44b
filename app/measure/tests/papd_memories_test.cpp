// The PA/PD page's file formats and waveform records.
#include <gtest/gtest.h>

#include "app/measure/papd_memories.h"
#include "app/registers/table_file.h"

namespace kqa::measure {
namespace {

using registers::FormatTableLines;
using registers::ParseHexLines;

TEST(PapdFiles, LinesAreWrittenInTheirFormats) {
  EXPECT_EQ(FormatWordLines({0x0000ABCD, 0xFFFFFFFF}), "0000ABCD\nFFFFFFFF\n");
  EXPECT_EQ(FormatByteLines({0x0A, 0xFF}), "0A\nFF\n");
  EXPECT_EQ(FormatWaveformLines({0x80FF017F}), "127\t1\t-1\t-128\n");
  std::array<std::uint8_t, 256> table{};
  table[1] = 0xAB;
  const std::string text = FormatTableLines(table);
  EXPECT_EQ(text.substr(0, 10), "0x00\n0xAB\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 256);
}

TEST(PapdFiles, AWaveformPairPacksIntoTwoBufferWordsAndOneSharedWord) {
  WaveformWords words = PackWaveformRecord({1, 2, 3, 4}, {5, 6, 7, 8});
  EXPECT_EQ(words.pbf1, 0x03002001u);
  EXPECT_EQ(words.pbf2, 0x07006005u);
  EXPECT_EQ(words.share, 0x00800040u);
  // Ten-bit fields keep their low bits; r's bits 8-9 and v's go to the shared word.
  words = PackWaveformRecord({-1, 0x7FF, 0x300, 0}, {0, 0, 0x200, 0x3FF});
  EXPECT_EQ(words.pbf1, 0x000003FFu | 0x3FFu << 12 | 0x300u << 24);
  EXPECT_EQ(words.share, 0x3FFu << 20 | 0x200u << 8 | 0x3u);
}

TEST(PapdFiles, AFileWithATypoIsRefusedWholeNamingItsLine) {
  std::vector<std::uint32_t> values;
  std::string problem;
  EXPECT_TRUE(ParseHexLines({"0000ABCD", "", " ff "}, values, problem));
  EXPECT_EQ(values, (std::vector<std::uint32_t>{0xABCD, 0xFF}));
  EXPECT_FALSE(ParseHexLines({"00000001", "0000G001"}, values, problem));
  EXPECT_EQ(problem, "Line 2: \"0000G001\" is not a hexadecimal number.");

  std::vector<WaveformWords> records;
  EXPECT_TRUE(ParseWaveformLines({"1\t2\t3\t4", "5 6 7 8"}, records, problem));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].share, 0x00800040u);
  EXPECT_FALSE(ParseWaveformLines({"1\t2\t3", "5 6 7 8"}, records, problem));
  EXPECT_EQ(problem, "Line 1: \"1\t2\t3\" is not four decimal numbers.");
  EXPECT_FALSE(ParseWaveformLines({"1 2 3 4", "5 6 7 8", "9 9 9 9"}, records, problem));
  EXPECT_EQ(problem, "Line 3 has no second line to make a pair.");
}

}  // namespace
}  // namespace kqa::measure
