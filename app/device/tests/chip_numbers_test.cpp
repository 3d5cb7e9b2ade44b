#include <gtest/gtest.h>

#include <string_view>

#include "app/device/channel_table.h"
#include "app/device/chip_numbers.h"

namespace kqa::device {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ChipNumbers, Crc32IsTheMpeg2Variant) {
  EXPECT_EQ(Crc32Block(Bytes("abc")), 0x9B73448Cu);
  EXPECT_EQ(Crc32Block(Bytes("123456789")), 0x0376E6E7u);
  Crc32 crc;
  for (std::uint8_t byte : Bytes("12345")) crc.update(byte);
  crc.reset();
  for (std::uint8_t byte : Bytes("abc")) crc.update(byte);
  EXPECT_EQ(crc.value(), 0x9B73448Cu);
}

TEST(ChipNumbers, LinearToDb64) {
  EXPECT_EQ(LinearToDb64(0), -10000);
  EXPECT_EQ(LinearToDb64(1), 3);
  EXPECT_EQ(LinearToDb64(65535), 3087);
  EXPECT_NEAR(LinearToDb64(100), 64 * 20, 2);
  EXPECT_NEAR(LinearToDb64(1000), 64 * 30, 2);
}

TEST(ChipNumbers, DescriptorSizesFollowTheChipModel) {
  EXPECT_EQ(TxwiSizeFor(0x5EC70000), 20u);
  EXPECT_EQ(TxwiSizeFor(0x5EC70203), 20u);
  EXPECT_EQ(RxwiSizeFor(0x5EC70203), 24u);
  EXPECT_EQ(TxwiSizeFor(0xFFFFFFFF), 16u);
  EXPECT_EQ(RxwiSizeFor(0), 16u);
}

TEST(ChannelTable, RowsMatchTheirChannels) {
  ASSERT_EQ(ChannelParamTable().size(), 14u);
  const ChannelParams& fourteen = ChannelParamTable()[13];
  EXPECT_EQ(fourteen.channel, 14u);
  EXPECT_DOUBLE_EQ(fourteen.ghz, 2.484);
  EXPECT_DOUBLE_EQ(fourteen.mhzTimes4Over3, 3312.0);
  EXPECT_EQ(fourteen.r20, 0x52);
  EXPECT_EQ(fourteen.r17, 0x33);
  EXPECT_EQ(fourteen.r19Bits, 0x03);
  EXPECT_NEAR(ChannelParamTable()[1].mhzTimes4Over3, 3222.667, 0.001);
  EXPECT_EQ(ChannelNames()[0], "    1  2412-MHz");
  EXPECT_EQ(ChannelNames()[13], "  14  2484-MHz");
  EXPECT_EQ(ChannelList()[13], 14);
}

}  // namespace
}  // namespace kqa::device
