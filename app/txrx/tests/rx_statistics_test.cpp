#include <gtest/gtest.h>

#include "app/txrx/rx_statistics.h"

namespace kqa::txrx {
namespace {

device::RxStatisticsWords Counters(std::uint32_t fcs, std::uint32_t u2m, std::uint32_t beacons = 0) {
  device::RxStatisticsWords words{};
  words[0] = fcs;
  words[8] = u2m;
  words[12] = beacons;
  return words;
}

TEST(Statistics, EachCounterShowsItsLastSecondAndItsTotal) {
  StatisticsTracker tracker;
  const EnvironmentSettings environment;
  tracker.refresh(Counters(2, 10, 7), environment);
  const StatisticsRefresh second = tracker.refresh(Counters(7, 25, 7), environment);
  EXPECT_EQ(second.texts[0], "5 / 7");
  EXPECT_EQ(second.texts[4], "15 / 25");
  EXPECT_EQ(second.texts[6], "0 / 7") << "an unchanged counter";
  ASSERT_TRUE(second.fer);
  EXPECT_EQ(PercentText(*second.fer), "25.00%");
}

TEST(Statistics, AQuietSecondLeavesFerAndFrameLossAlone) {
  StatisticsTracker tracker;
  tracker.refresh(Counters(3, 4), {});
  const StatisticsRefresh quiet = tracker.refresh(Counters(3, 4), {});
  EXPECT_FALSE(quiet.fer);
  EXPECT_FALSE(quiet.frameLoss);
}

TEST(Statistics, FrameLossPerRunAndPerSecond) {
  StatisticsTracker run;
  // Per run: 990 of 1000 expected so far.
  EXPECT_DOUBLE_EQ(*run.refresh(Counters(0, 990), {0, 1000}).frameLoss, 1.0);
  EXPECT_DOUBLE_EQ(*run.refresh(Counters(0, 1200), {0, 1000}).frameLoss, 0.0);

  StatisticsTracker free;
  free.refresh(Counters(0, 5000), {1, 1000});
  EXPECT_DOUBLE_EQ(*free.refresh(Counters(0, 6200), {1, 1000}).frameLoss, 0.0) << "1200 a second";
  EXPECT_DOUBLE_EQ(*free.refresh(Counters(1, 6950), {1, 1000}).frameLoss, 25.0) << "750 a second";

  StatisticsTracker afterReset;
  afterReset.refresh(Counters(0, 400), {0, 1000});
  afterReset.reset();
  EXPECT_EQ(afterReset.refresh(Counters(0, 400), {0, 1000}).delta[4], 400u);
}

TEST(Signal, RssiFromLnaCodeVgaOffsetAndBandGain) {
  struct Case {
    std::uint32_t raw;
    std::int8_t offset;
    bool wide, main;
    int gain, dbm;
  };
  const Case cases[] = {
      {0xC5, 0, false, true, 0, -30},   // 8 - 0 - 33 - 5 - 0
      {0xC5, 0, true, true, 0, -31},    // 34 dB at 40 MHz
      {0x8A, 2, false, true, 10, -29},  // 8 - 2 - 15 - 10 - 10
      {0x4A, -2, false, true, 0, 2},    // 8 + 2 + 2 - 10
      {0x4A, 0, true, true, 0, -2},     // code 1 on Main at 40 MHz: 0 dB
      {0x4A, 0, true, false, 0, 0},     // on Aux: -2 dB
      {0x0A, 0, false, true, 0, -2},
  };
  for (const Case& c : cases) EXPECT_EQ(RssiDbm(c.raw, c.offset, c.wide, c.main, c.gain), c.dbm) << c.raw;
}

TEST(Signal, SnrAndDeviationTexts) {
  EXPECT_EQ(SnrText(0), "0.0 dB");
  EXPECT_EQ(SnrText(100), "18.8 dB");
  EXPECT_EQ(DeviationText(0xF6, false), "-4.0 KHz / 1.7 ppm");
  EXPECT_EQ(DeviationText(0xF6, true), "-4.0 KHz / 0.7 ppm");
  EXPECT_EQ(DeviationText(0x19, false), "10.0 KHz / 4.2 ppm");
}

TEST(Signal, WordsOfEachPath) {
  device::RxStatisticsWords words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint32_t>(i);
  const SignalReading reading = SignalOf(words);
  EXPECT_EQ(reading.rssiRaw[0], 23u);
  EXPECT_EQ(reading.rssiRaw[1], 19u);
  EXPECT_EQ(reading.rssiRaw[2], 20u);
  EXPECT_EQ(reading.snrRaw[0], 21u);
  EXPECT_EQ(reading.snrRaw[1], 22u);
}

}  // namespace
}  // namespace kqa::txrx
