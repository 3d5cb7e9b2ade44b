#include <gtest/gtest.h>

#include <string_view>

#include "app/device/chip_numbers.h"
#include "app/device/text_parsing.h"

namespace kqa::device {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ChipNumbers, Crc32IsTheMpeg2VariantAndLinearToDb64CountsSixtyFourthsOfADecibel) {
  EXPECT_EQ(Crc32Block(Bytes("abc")), 0x9B73448Cu);
  EXPECT_EQ(Crc32Block(Bytes("123456789")), 0x0376E6E7u);
  EXPECT_EQ(LinearToDb64(0), -10000);
  EXPECT_EQ(LinearToDb64(1), 3);
  EXPECT_EQ(LinearToDb64(65535), 3087);
  EXPECT_NEAR(LinearToDb64(1000), 64 * 30, 2);
}

TEST(TextParsing, NumbersAndBytesRefuseTyposWithoutTouchingTheirDestination) {
  struct Case {
    const char* text;
    bool valid;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"1314", true, 0x1314}, {"0x1aB", true, 0x1AB},   {"0XFFFFFFFF", true, 0xFFFFFFFF},
      {"000000001", true, 1}, {"100000000", false, 0},  {"12G4", false, 0},
      {"0x", false, 0},       {"", false, 0},           {"-1", false, 0},
      {" 12", false, 0},      {"+12", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::uint32_t value = 0x5555;
    EXPECT_EQ(ParseHexNumber(c.text, value), c.valid);
    EXPECT_EQ(value, c.valid ? c.value : 0x5555u);
  }

  for (const Case& c : {Case{"64", true, 64}, Case{"4294967295", true, 0xFFFFFFFF},
                        Case{"4294967296", false, 0}, Case{"1F", false, 0}, Case{"", false, 0},
                        Case{"+8", false, 0}, Case{"8 ", false, 0}}) {
    SCOPED_TRACE(c.text);
    std::uint32_t value = 0x5555;
    EXPECT_EQ(ParseDecimalNumber(c.text, value), c.valid);
    EXPECT_EQ(value, c.valid ? c.value : 0x5555u);
  }

  std::array<std::uint8_t, 2> bytes{};
  ASSERT_TRUE(HexToBytes(bytes, "1aFF"));
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 2>{0x1A, 0xFF}));
  EXPECT_FALSE(HexToBytes(bytes, "1G00"));
  EXPECT_FALSE(HexToBytes(bytes, "123"));
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 2>{0x1A, 0xFF}));

  std::string text = std::string(300, '\t') + "x  y\n";  // no fixed buffer to overrun
  StripLine(text, '\t');
  EXPECT_EQ(text, "x  y");
}

}  // namespace
}  // namespace kqa::device
