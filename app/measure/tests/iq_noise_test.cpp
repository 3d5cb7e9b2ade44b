// The IQ page's statistics and proposals and the noise scan's arithmetic.
#include <gtest/gtest.h>

#include "app/measure/iq_calibration.h"
#include "app/measure/noise_scan.h"

namespace kqa::measure {
namespace {

TEST(IqArithmetic, StatisticsFoldTheEngines24BitSumsForMeansAndCross) {
  EXPECT_EQ(StatisticValue(0, 0x00, 0x80, 0x00, 0x00), -8388608.0);
  EXPECT_EQ(StatisticValue(4, 0x00, 0xFF, 0xFF, 0xFF), -1.0);
  EXPECT_EQ(StatisticValue(2, 0x00, 0x80, 0x00, 0x00), 8388608.0) << "sums of squares are not folded";
  EXPECT_EQ(StatisticValue(1, 0xFF, 0xFF, 0xC0, 0x00), -16384.0);
  EXPECT_EQ(StatisticValue(3, 0x01, 0x02, 0x03, 0x04), 16909060.0);
}

TEST(IqArithmetic, ProposalsFollowTheirFormulas) {
  EXPECT_EQ(GainTerm({.si = 2.0, .sq = 2.0}), 0.0);
  EXPECT_NEAR(PhaseAngle({.si = 1.0, .sq = 1.0, .cross = 0.5}), 30.0 * 3.14159265358979 / 3.14159, 1e-9);
  EXPECT_EQ(ProposedR40(0.01), -1.0);
  EXPECT_EQ(ProposedR40(-0.03), 4.0);
  EXPECT_EQ(ProposedR41(1.0), -4.0);
  EXPECT_EQ(ProposedDelayRegister(0.25), 3);
  EXPECT_EQ(ProposedDelayRegister(-0.26), -3);
}

TEST(NoiseArithmetic, TheTrimmedMeanTakesTheMiddleFourTruncated) {
  EXPECT_EQ(TrimmedMean({-60, -61, -62, -63, -64, -65, -66, -67, -68, -69}), -64);
  EXPECT_EQ(TrimmedMean({-47, -95, -96, -95, -94, -40, -95, -96, -30, -95}), -94) << "-379 / 4 truncates toward zero";
  EXPECT_EQ(TrimmedMean({1, 1, 1, 1, 2, 2, 2, 9, 9, 9}), 1) << "7 / 4 truncates";
  EXPECT_EQ(RssiSample(0, 2, 10), -100);
  EXPECT_EQ(RssiSample(71, 2, 10), -95);
  EXPECT_EQ(RssiSample(200, -3, 0x0C), -12 + 3 - 200 - 12);
}

TEST(NoiseArithmetic, ChannelIndicesMapToTheirListsAndColumns) {
  const std::pair<int, NoiseColumn> expected[] = {{0, {1000, 1}},  {13, {1000, 14}}, {14, {1001, 1}},
                                                  {25, {1001, 12}}, {26, {1377, 1}},  {40, {1377, 15}},
                                                  {41, {1378, 1}},  {52, {1378, 12}}};
  for (auto [index, column] : expected) {
    EXPECT_EQ(NoiseColumnOf(index).list, column.list) << index;
    EXPECT_EQ(NoiseColumnOf(index).column, column.column) << index;
  }
}

}  // namespace
}  // namespace kqa::measure
