#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "chip/kestrel.h"
#include "chip/radio/channel_plan.h"
#include "chip/radio/environment.h"
#include "chip/tests/radio_host.h"

namespace kqa::chip {
namespace {

TEST(Environment, AFileDescribesTheWholeBench) {
  const auto env = Environment::Parse(R"(
# a comment line
noise default -96
noise 6 -90   # a busy channel
ap lab channel=6 level=-50 ssid="QA LAB #2" bssid=02:00:00:00:00:06 beacon=51.2 rate=ofdm-6 ppm=-3.5
station laptop ap=lab level=-62.5 address=020000000099 rate=ht-15 load=30 errors=0.1 length=100-900
interferer channel=9 level=-70 phy-errors=5 false-cca=80
generator channel=1 level=-55 frames=1000 interval=0.5 rate=cck-11s length=512 start=100
tone channel=11 offset=-3.2 level=-60
)");
  EXPECT_EQ(env.noiseFloor(6), -90.0);
  EXPECT_EQ(env.noiseFloor(1), -96.0);
  ASSERT_EQ(env.accessPoints.size(), 1u);
  const auto& ap = env.accessPoints[0];
  EXPECT_EQ(ap.ssid, "QA LAB #2");
  EXPECT_EQ(ap.bssid, (MacAddress{2, 0, 0, 0, 0, 6}));
  EXPECT_EQ(ap.beaconRate, (PhyRate{PhyMode::Ofdm, 0}));
  EXPECT_EQ(ap.ppm, -3.5);
  ASSERT_EQ(env.stations.size(), 1u);
  const auto& station = env.stations[0];
  EXPECT_EQ(station.address, (MacAddress{2, 0, 0, 0, 0, 0x99}));
  EXPECT_EQ(station.rate.mcs, 15);
  EXPECT_EQ(station.maxLength, 900u);
  ASSERT_EQ(env.interferers.size(), 1u);
  EXPECT_EQ(env.interferers[0].falseCcaPerSecond, 80.0);
  ASSERT_TRUE(env.generator);
  EXPECT_EQ(env.generator->count, 1000u);
  EXPECT_EQ(env.generator->rate, (PhyRate{PhyMode::Cck, 0x0B}));
  ASSERT_TRUE(env.tone);
  EXPECT_EQ(env.tone->offsetMHz, -3.2);
}

TEST(Environment, MistakesAreRefusedWithTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"noise default -95\nap x channel=15 level=-50", "line 2: no channel 15"},
      {"ap x channel=1", "line 1: missing level="},
      {"station s ap=nowhere level=-60", "line 1: no access point \"nowhere\""},
      {"ap x channel=1 level=-50 rate=ofdm-7", "unknown rate"},
      {"ap x channel=1 level=-50\nap x channel=2 level=-50", "line 2: the name \"x\" is taken"},
      {"ap x channel=1 level=-50 colour=red", "unknown setting \"colour\""},
      {"ap x channel=1 level=loud", "\"loud\" is not a number"},
      {"satellite channel=1", "unknown entry \"satellite\""},
      {"tone channel=1 level=-50 offset=45", "outside"},
      {"ap x channel=1 level=-50 ssid=\"open", "unterminated quote"},
  };
  for (const auto& [text, message] : cases) {
    try {
      Environment::Parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const EnvironmentError& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
  }
}

TEST(Environment, TheChipReadsItsEnvironmentFileAndRefusesABadOne) {
  const auto file = std::filesystem::temp_directory_path() / "kqa_chip_environment_test.env";
  VirtualClock clock;
  KestrelOptions options{.completions = Completions::Stepped, .radio = {.environmentFile = file}};
  {
    std::ofstream(file) << "ap only channel=3 level=-40\n";
    Kestrel chip(clock, options);
    const auto names = chip.withRadio([](RadioSide& r) { return r.air().environment().accessPoints.size(); });
    EXPECT_EQ(names, 1u);
  }
  std::ofstream(file) << "ap only channel=3\n";
  EXPECT_THROW(Kestrel(clock, options), EnvironmentError);
  std::filesystem::remove(file);

  // An environment given in code is checked the same way.
  Environment orphan;
  orphan.stations.push_back(Station{.name = "lost", .accessPoint = "nowhere"});
  options.radio.environment = orphan;
  EXPECT_THROW(Kestrel(clock, options), EnvironmentError);
  options.radio.environment = Environment{};
  Kestrel chip(clock, options);
  const GeneratorFrames tiny{.count = 1, .length = 10};
  EXPECT_THROW(chip.withRadio([&](RadioSide& r) { r.startGenerator(tiny); }), EnvironmentError);
}

TEST(ChannelPlan, TheSynthesizerValuesOfEveryChannelTuneToIt) {
  RfRegisters rf;
  EXPECT_EQ(SynthesizerTuning(rf).centreMHz, 0.0) << "not programmed";
  for (const auto& row : testing::kChannelTable) {
    rf.store(0, 20, row.r20);
    rf.store(0, 17, row.r17);
    rf.store(0, 18, row.r18);
    rf.store(0, 19, static_cast<std::uint8_t>(0xFC | row.r19));  // other bits of R19 do not count
    const Tuning tuning = SynthesizerTuning(rf);
    EXPECT_NEAR(tuning.centreMHz, ChannelCentreMHz(row.channel), 0.01) << "channel " << row.channel;
    EXPECT_EQ(tuning.channel, row.channel);
  }
  rf.store(0, 18, 0x00);  // 1.5 MHz below channel 14
  EXPECT_EQ(SynthesizerTuning(rf).channel, 0);
}

}  // namespace
}  // namespace kqa::chip
