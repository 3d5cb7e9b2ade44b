#include <gtest/gtest.h>

#include "app/device/text_utils.h"

namespace kqa::device {
namespace {

TEST(TextUtils, HexDigits) {
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('a'), 10);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('G'), 255);
  EXPECT_EQ(HexDigitValue(' '), 255);
}

TEST(TextUtils, HexToBytesConvertsPairsAndRejectsTyposWithoutTouchingTheDestination) {
  std::array<std::uint8_t, 2> bytes{};
  ASSERT_TRUE(HexToBytes(bytes, "1aFF"));
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 2>{0x1A, 0xFF}));

  EXPECT_FALSE(HexToBytes(bytes, "1G00"));
  EXPECT_FALSE(HexToBytes(bytes, "123"));
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 2>{0x1A, 0xFF}));
  EXPECT_TRUE(HexToBytes({}, ""));
}

TEST(TextUtils, StripLineDropsTheLineFeedAndLeadingFillers) {
  std::string text = "   abc\n";
  StripLine(text, ' ');
  EXPECT_EQ(text, "abc");
  text = "x  y\n";
  StripLine(text, ' ');
  EXPECT_EQ(text, "x  y");
  text = std::string(300, '\t') + "long";  // no fixed buffer to overrun
  StripLine(text, '\t');
  EXPECT_EQ(text, "long");
}

}  // namespace
}  // namespace kqa::device
