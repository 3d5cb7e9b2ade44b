#include "driver/payload.h"

#include <gtest/gtest.h>

#include <chrono>

#include "driver/vendor_requests.h"

namespace kqa::driver {
namespace {

TEST(PayloadTest, RandomLengthsStayBetween52And1500AwayFromMultiplesOf64) {
  EXPECT_EQ(RandomFrameLength(45), 100u);    // 49 < 50: 99, rounded up
  EXPECT_EQ(RandomFrameLength(1503), 1500u);  // 1507 rounds to 1508: capped
  EXPECT_EQ(RandomFrameLength(0), 56u);       // 4 + 50 = 54, rounded up
  EXPECT_EQ(RandomFrameLength(46), 52u);      // 50, rounded up: the shortest
  EXPECT_EQ(RandomFrameLength(1504 + 124), 136u);  // 128 is a multiple of 64
  for (std::uint32_t r = 0; r <= 0xFFFF; ++r) {
    const std::uint32_t length = RandomFrameLength(static_cast<std::uint16_t>(r));
    ASSERT_GE(length, 52u);
    ASSERT_LE(length, 1500u);
    ASSERT_EQ(length % 4, 0u);
    ASSERT_NE(length % 64, 0u);
  }
}

TEST(PayloadTest, GrowingLengthsClimbByFourAndFallBackToTheBase) {
  std::uint32_t length = 100;
  std::vector<std::uint32_t> seen;
  for (int i = 0; i < 8; ++i) seen.push_back(length = GrowingFrameLength(length, 100));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{104, 108, 112, 116, 120, 124, 136, 140}));
  EXPECT_EQ(GrowingFrameLength(1496, 100), 1500u);
  EXPECT_EQ(GrowingFrameLength(1500, 100), 100u);  // 1504 would pass 1500
  EXPECT_EQ(GrowingFrameLength(20, 20), 76u);       // below 50: + 54, rounded up
}

TEST(PayloadTest, MultiplesOf64MoveUpByFourOrByEightOnPipesTwoAndThree) {
  EXPECT_EQ(AdjustedOutLength(1536, 0, 0), 1540u);
  EXPECT_EQ(AdjustedOutLength(1536, 2, 0), 1544u);
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
  state = 0x12345678;
  EXPECT_EQ(LfsrDraw(state, 16), 0x12D0u);
  EXPECT_EQ(LfsrSeed(std::chrono::nanoseconds(0)), 1u);
  EXPECT_EQ(LfsrSeed(std::chrono::microseconds(5)), 50u);  // 100 ns units
}

TEST(PayloadTest, DescriptorSizesFollowTheChipFamily) {
  EXPECT_EQ(DescriptorSizesFor(0x5EC70001).transmit, 20u);
  EXPECT_EQ(DescriptorSizesFor(0x5EC70001).receive, 24u);
  EXPECT_EQ(DescriptorSizesFor(0x30710200).transmit, 16u);
  EXPECT_EQ(DescriptorSizesFor(0).receive, 16u);
}

usb::PipeInformation Bulk(std::uint8_t address) {
  return {address, usb::kTransferBulk, 512, address};
}

TEST(PipeAssignmentTest, FirstBulkOutKeepsPipeFiveAndTheNextFillFromZero) {
  const usb::PipeInformation pipes[] = {Bulk(0x81), Bulk(0x82), Bulk(0x01), Bulk(0x02), Bulk(0x03),
                                        Bulk(0x04), Bulk(0x05), Bulk(0x06), {0x83, usb::kTransferInterrupt, 8, 0x83},
                                        Bulk(0x84)};
  std::array<usb::PipeHandle, kInPipes> in{};
  std::array<usb::PipeHandle, kOutPipes> out{};
  AssignPipes(pipes, in, out);
  EXPECT_EQ(in, (std::array<usb::PipeHandle, kInPipes>{0x81, 0x82}));  // interrupt and third IN ignored
  EXPECT_EQ(out, (std::array<usb::PipeHandle, kOutPipes>{0x02, 0x03, 0x04, 0x05, 0x06, 0x01, 0, 0, 0, 0}));
}

TEST(PipeAssignmentTest, MoreThanSixBulkOutFillPipesSixToNineThenStop) {
  std::vector<usb::PipeInformation> pipes;
  for (std::uint8_t e = 1; e <= 12; ++e) pipes.push_back(Bulk(e));
  std::array<usb::PipeHandle, kInPipes> in{};
  std::array<usb::PipeHandle, kOutPipes> out{};
  AssignPipes(pipes, in, out);
  EXPECT_EQ(out, (std::array<usb::PipeHandle, kOutPipes>{2, 3, 4, 5, 6, 1, 7, 8, 9, 10}));
  EXPECT_EQ(in, (std::array<usb::PipeHandle, kInPipes>{0, 0}));
}

}  // namespace
}  // namespace kqa::driver
