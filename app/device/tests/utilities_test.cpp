#include <gtest/gtest.h>

#include <string_view>

#include "app/device/chip_numbers.h"
#include "app/device/text_utils.h"

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

TEST(TextUtils, HexToBytesRefusesTyposWithoutTouchingTheDestinationAndStripLineDropsFillers) {
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
