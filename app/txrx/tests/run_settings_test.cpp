#include <gtest/gtest.h>

#include "app/txrx/run_settings.h"
#include "app/txrx/run_settings_json.h"

namespace kqa::txrx {
namespace {

using nlohmann::json;

TEST(RunSettingsJson, EveryKeyRoundTrips) {
  RunSettings s;
  s.frameType = 17;
  s.totalBytes = "300";
  s.repeat = "0";
  s.mode = 3;
  s.rate = 16;
  s.bw40 = s.sgi = s.ampdu = s.waitAck = s.seqByHw = s.inc = s.swCrc = s.debugInfo = s.rdg = s.wiv = true;
  s.aggregate = true;
  s.aggregateCount = 4;
  s.payload = "0102";
  s.descriptor.slotEnabled = {false, true, false, false, false, true, false, false, false, true};
  s.descriptor.aifsn[7] = 15;
  s.descriptor.txop[3] = "500";
  s.descriptor.cipher = 4;
  s.descriptor.keyTable = 1;
  s.environment = {1, 250};
  const json written = json::parse(WriteRunSettings(s).dump());
  ASSERT_EQ(written.size(), 45u);
  EXPECT_EQ(written["aggregate"], 4);
  EXPECT_EQ(written["totalBytes"], 300);
  EXPECT_EQ(written["fc"], "0800");

  RunSettings read;
  ASSERT_EQ(ReadRunSettings(written, read, [](RunSettings&, int) {}), "");
  EXPECT_EQ(WriteRunSettings(read), WriteRunSettings(s));
}

TEST(RunSettingsJson, PresetFirstThenExplicitKeys) {
  RunSettings s;
  const json settings = {{"totalBytes", 12}, {"frameType", 13}, {"address1", "001122334455"}};
  ASSERT_EQ(ReadRunSettings(settings, s), "");
  EXPECT_EQ(s.frameType, 13);
  EXPECT_EQ(s.fc, "C400");
  EXPECT_EQ(s.totalBytes, "12");
  EXPECT_EQ(s.address1, "001122334455");

  // A mode without a rate takes the mode's rate.
  ASSERT_EQ(ReadRunSettings({{"mode", 0}}, s), "");
  EXPECT_EQ(s.rate, 3);
}

TEST(RunSettingsJson, RefusalsNameTheKeyAndChangeNothing) {
  const std::pair<json, const char*> cases[] = {
      {{{"totalByte", 40}}, "unknown run setting \"totalByte\""},
      {{{"mode", 4}}, "\"mode\" must be from 0 to 3, not 4"},
      {{{"rate", 9}}, "\"rate\" must be from 0 to 7"},
      {{{"bw40", 1}}, "\"bw40\" must be true or false"},
      {{{"fc", 800}}, "\"fc\" must be a text"},
      {{{"acEnable", {true, false}}}, "\"acEnable\" must be a list of 10 entries"},
      {{{"aifsn", {2, 2, 3, 16, 2, 2, 3, 7}}}, "\"aifsn[3]\" must be from 0 to 15"},
      {{{"aggregate", 11}}, "\"aggregate\" must be from 0 to 10"},
      {json::array(), "must be a JSON object"},
  };
  for (const auto& [settings, message] : cases) {
    RunSettings s;
    s.totalBytes = "77";
    const std::string problem = ReadRunSettings(settings, s);
    EXPECT_NE(problem.find(message), std::string::npos) << settings.dump() << ": " << problem;
    EXPECT_EQ(s.totalBytes, "77");
  }
}

TEST(RunSettingsJson, CommandLineAssignments) {
  json j = json::object();
  EXPECT_EQ(AddSettingAssignment(j, "fc=0800"), "");
  EXPECT_EQ(AddSettingAssignment(j, "totalBytes=100"), "");
  EXPECT_EQ(AddSettingAssignment(j, "sgi=true"), "");
  EXPECT_EQ(AddSettingAssignment(j, "aifsn=1,2,3,4,5,6,7,8"), "");
  EXPECT_EQ(j, json({{"fc", "0800"}, {"totalBytes", 100}, {"sgi", true}, {"aifsn", {1, 2, 3, 4, 5, 6, 7, 8}}}));
  EXPECT_NE(AddSettingAssignment(j, "totalBytes"), "");
  EXPECT_NE(AddSettingAssignment(j, "repeat=ten"), "");
}

TEST(DescriptorDialog, EachAcGroupKeepsOneBoxChecked) {
  DescriptorSettings d;  // AC0 and AC4 checked
  ToggleAc(d, 0);
  EXPECT_TRUE(d.slotEnabled[0]) << "the last of AC0-AC3 stays";
  ToggleAc(d, 2);
  ToggleAc(d, 0);
  EXPECT_FALSE(d.slotEnabled[0]);
  EXPECT_TRUE(d.slotEnabled[2]);
  ToggleAc(d, 4);
  EXPECT_TRUE(d.slotEnabled[6]) << "AC4 is slot 6";
}

TEST(DescriptorDialog, QueueFlagsFollowTheWmmSelection) {
  RunSettings s;
  s.descriptor.slotEnabled = {true, false, true, false, false, true, false, true, false, true};
  const std::pair<int, std::uint32_t> cases[] = {{kRg0Wmm, 0x10}, {kRg1Wmm, 0x20}, {kRg2Wmm0, 0x5}, {kRg2Wmm1, 0x280}};
  for (const auto& [selection, flags] : cases) {
    s.descriptor.wmmSelection = selection;
    EXPECT_EQ(QueueSelectionFlags(s), flags) << selection;
  }
  s.frameType = 17;
  s.debugInfo = s.swCrc = true;
  EXPECT_EQ(QueueSelectionFlags(s), 0x30000280u);
}

TEST(DescriptorDialog, ACipherMarksTheFrameProtected) {
  RunSettings s;
  s.descriptor.cipher = 3;
  MarkProtectedFrame(s);
  EXPECT_EQ(s.fc, "0840");
  s.descriptor.cipher = 0;
  MarkProtectedFrame(s);
  EXPECT_EQ(s.fc, "0800");
}

}  // namespace
}  // namespace kqa::txrx
