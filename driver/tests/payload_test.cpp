#include "driver/payload.h"

#include <gtest/gtest.h>

#include <chrono>

#include "driver/vendor_requests.h"

namespace kqa::driver {
namespace {

TEST(PayloadTest, FrameLengthsOfTheModes) {
  EXPECT_EQ(RandomFrameLength(45), 100u);          // 49 < 50: 99, rounded up
  EXPECT_EQ(RandomFrameLength(1503), 1500u);       // 1507 rounds to 1508: capped
  EXPECT_EQ(RandomFrameLength(46), 52u);           // 50, rounded up: the shortest
  EXPECT_EQ(RandomFrameLength(1504 + 124), 136u);  // 128 is a multiple of 64
  for (std::uint32_t r = 0; r <= 0xFFFF; ++r) {
    const std::uint32_t length = RandomFrameLength(static_cast<std::uint16_t>(r));
    ASSERT_TRUE(length >= 52 && length <= 1500 && length % 4 == 0 && length % 64 != 0) << r;
  }
  // Mode 18 climbs by 4 (the step from 124 passes 128 by 8) and falls back to the base past 1500.
  EXPECT_EQ(GrowingFrameLength(1496, 100), 1500u);
  EXPECT_EQ(GrowingFrameLength(1500, 100), 100u);
  EXPECT_EQ(GrowingFrameLength(1500, 128), 136u);  // a base of a multiple of 64 too
  EXPECT_EQ(GrowingFrameLength(20, 20), 76u);      // below 50: + 54, rounded up
  // A multiple of 64 moves up by 4, by 8 on pipes 2 and 3, and not at all in mode 17 elsewhere.
  EXPECT_EQ(AdjustedOutLength(1536, 3, kModeRandom), 1544u);
  EXPECT_EQ(AdjustedOutLength(1536, 9, kModeRandom), 1536u);
  EXPECT_EQ(AdjustedOutLength(1538, 2, 0), 1538u);
}

TEST(PayloadTest, GeneratorMatchesItsDefinition) {
  // Known answers worked out by hand from the taps 0xC000002B.
  std::uint32_t state = 1;
  EXPECT_EQ(LfsrDraw(state, 16), 0xD325u);
  EXPECT_EQ(state, 0xF6AE8020u);
  EXPECT_EQ(LfsrDraw(state, 8), 0x06u);
  EXPECT_EQ(LfsrSeed(std::chrono::nanoseconds(0)), 1u);
  EXPECT_EQ(LfsrSeed(std::chrono::microseconds(5)), 50u);  // 100 ns units
}

usb::PipeInformation Bulk(std::uint8_t address) { return {address, usb::kTransferBulk, 512, address}; }

TEST(PipeAssignmentTest, FirstBulkOutKeepsPipeFiveTheNextFillFromZeroThenSixToNine) {
  const usb::PipeInformation six[] = {Bulk(0x81), Bulk(0x82), Bulk(0x01), Bulk(0x02), Bulk(0x03),
                                      Bulk(0x04), Bulk(0x05), Bulk(0x06), Bulk(0x84),
                                      {0x83, usb::kTransferInterrupt, 8, 0x83}};
  std::array<usb::PipeHandle, kInPipes> in{};
  std::array<usb::PipeHandle, kOutPipes> out{};
  AssignPipes(six, in, out);
  EXPECT_EQ(in, (std::array<usb::PipeHandle, kInPipes>{0x81, 0x82}));  // interrupt and third IN ignored
  EXPECT_EQ(out, (std::array<usb::PipeHandle, kOutPipes>{0x02, 0x03, 0x04, 0x05, 0x06, 0x01, 0, 0, 0, 0}));

  std::vector<usb::PipeInformation> twelve;
  for (std::uint8_t e = 1; e <= 12; ++e) twelve.push_back(Bulk(e));
  in = {};
  out = {};
  AssignPipes(twelve, in, out);
  EXPECT_EQ(out, (std::array<usb::PipeHandle, kOutPipes>{2, 3, 4, 5, 6, 1, 7, 8, 9, 10}));
  EXPECT_EQ(in, (std::array<usb::PipeHandle, kInPipes>{0, 0}));
}

}  // namespace
}  // namespace kqa::driver
