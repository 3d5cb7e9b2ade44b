// The bytes a run hands to the driver, worked out by hand from the record
// layout: slot word, length word, TX information word, the 20-byte
// descriptor, the frame, padding to 4 bytes, four closing zero bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/txrx/run_settings.h"
#include "app/txrx/tx_frame.h"

namespace kqa::txrx {
namespace {

constexpr std::uint32_t kKestrelDescriptor = 20;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

RunSettings Preset(int type, const std::string& totalBytes) {
  RunSettings s;
  ApplyFramePreset(s, type);
  s.totalBytes = totalBytes;
  return s;
}

TxBuild Build(const RunSettings& s) {
  TxBuildResult result = BuildTxRun(s, kKestrelDescriptor);
  EXPECT_TRUE(result.ok()) << result.problem;
  return result.build;
}

TEST(TxRecord, CtsOfTenBytesHoldsFcDurAndAddress1Only) {
  const TxBuild build = Build(Preset(13, "10"));
  // OFDM rate 7: MCS 7, PHY mode 1; WCID 1; MPDU byte count 10.
  const std::vector<std::uint8_t> expected = Bytes({
      0x00, 0x00, 0x00, 0x00,                          // slot 0
      0x24, 0x00, 0x00, 0x00,                          // length 32 + 4
      0x20, 0x00, 0x08, 0x00,                          // info: 20 + 10 -> 32, bit 19
      0x00, 0x00, 0x07, 0x40, 0x00, 0x01, 0x0A, 0x00,  // descriptor words 0, 1
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0xC4, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x40, 0x12, 0x34, 0x56,  // FC, Dur, Address1
      0x00, 0x00,                                      // padding to 32
      0x00, 0x00, 0x00, 0x00,                          // closing zeros
  });
  EXPECT_EQ(build.record, expected);
}

TEST(TxRecord, DataOfFortyBytesIsHeaderAndSixteenPatternBytes) {
  const TxBuild build = Build(Preset(15, "40"));
  ASSERT_EQ(build.record.size(), 12u + 60u + 4u);
  std::vector<std::uint8_t> frame = Bytes({0x08, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                           0x00, 0x0A, 0x40, 0x12, 0x34, 0x56, 0x00, 0x0A, 0x40, 0xAA,
                                           0xBB, 0xCC, 0x00, 0x00});
  frame.insert(frame.end(), 16, 0xAA);
  EXPECT_EQ(Slice(build.record, 32, 40), frame);
  EXPECT_EQ(Slice(build.record, 4, 8), Bytes({0x40, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x08, 0x00}));
}

TEST(TxRecord, IncrementingPatternWrapsAfterFF) {
  RunSettings s = Preset(15, "30");
  s.inc = true;
  s.repeatPattern = "FE";
  const TxBuild build = Build(s);
  EXPECT_EQ(Slice(build.frame, 24, 6), Bytes({0xFE, 0xFF, 0x00, 0x01, 0x02, 0x03}));
}

// "123456789" at frame bytes 36-44 (L = 49) and "abc" at 36-38 (L = 43):
// the CRC-32/MPEG-2 check values, stored little-endian at L - 4.
TEST(TxRecord, SoftwareCrcCoversBytes36ToLMinus5) {
  RunSettings s = Preset(15, "49");
  s.swCrc = true;
  s.payload = "000000000000000000000000" "313233343536373839";
  EXPECT_EQ(Slice(Build(s).frame, 45, 4), Bytes({0xE7, 0xE6, 0x76, 0x03}));

  s.totalBytes = "43";
  s.payload = "000000000000000000000000" "616263";
  EXPECT_EQ(Slice(Build(s).frame, 39, 4), Bytes({0x8C, 0x44, 0x73, 0x9B}));
}

TEST(TxRecord, SoftwareCrcOfAShortFrameCoversNothing) {
  RunSettings s = Preset(15, "30");
  s.swCrc = true;
  s.repeatPattern = "11";
  // Body 24-29: 11 11, then the CRC of no bytes (0xFFFFFFFF) at 26.
  EXPECT_EQ(Slice(Build(s).frame, 24, 6), Bytes({0x11, 0x11, 0xFF, 0xFF, 0xFF, 0xFF}));
}

struct DescriptorCase {
  const char* name;
  int mode;
  int rate;
  bool bw40, sgi, stbc;
  std::uint32_t word0;
};

TEST(TxRecord, DescriptorWord0FromModeRateAndChoices) {
  const DescriptorCase cases[] = {
      {"CCK entry 5 is MCS 13", 0, 5, false, false, false, 0x000D0000},
      {"CCK ignores BW, SGI, STBC", 0, 1, true, true, true, 0x00010000},
      {"OFDM 54", 1, 7, true, true, false, 0x40070000},
      {"HT entry 16 is MCS 32", 2, 16, false, false, false, 0x80200000},
      {"HT mixed 40 MHz, SGI, STBC", 2, 3, true, true, true, 0x83830000},
      {"greenfield two streams: no STBC", 3, 9, false, true, true, 0xC1090000},
  };
  for (const DescriptorCase& c : cases) {
    RunSettings s = Preset(15, "40");
    s.mode = c.mode;
    s.rate = c.rate;
    s.bw40 = c.bw40;
    s.sgi = c.sgi;
    s.stbc = c.stbc;
    EXPECT_EQ(Build(s).descriptor[0], c.word0) << c.name;
  }
}

TEST(TxRecord, InformationWordAndDescriptorWordsFromTheSettings) {
  RunSettings s = Preset(15, "41");
  s.waitAck = true;
  s.seqByHw = true;
  s.ampdu = true;
  s.descriptor.baWinSize = "15";
  s.wiv = true;
  s.descriptor.iv = "12345678";
  s.descriptor.eiv = "9ABCDEF0";
  s.descriptor.tso = 1;
  s.descriptor.cso = 1;
  s.descriptor.qsel = 2;
  s.descriptor.port = 5;
  const TxBuild build = Build(s);
  // 20 + 41 -> 64; bits 19, 20, 21, 24; QSEL 2 in 25-26; PORT 5 in 27-29.
  EXPECT_EQ(build.infoWord, 0x2D380040u);
  EXPECT_EQ(build.descriptor[0], 0x40070010u);  // A-MPDU; no density outside QoS Data
  EXPECT_EQ(build.descriptor[1], 0x0029013Fu);  // ACK, NSEQ, BA 15, WCID 1, 41 bytes
  EXPECT_EQ(build.descriptor[2], 0x12345678u);
  EXPECT_EQ(build.descriptor[3], 0x9ABCDEF0u);
}

TEST(TxRecord, QosDataTakesTheLastEnabledSlotAndRdgInHtModes) {
  RunSettings s = Preset(17, "40");
  // AC0 and AC4 (slot 6) are enabled by default: TID 6.
  TxBuild build = Build(s);
  EXPECT_EQ(Slice(build.frame, 24, 6), Bytes({0x06, 0x00, 0x00, 0x00, 0xAA, 0xAA}));
  EXPECT_EQ(build.frame[1], 0x00);

  s.qosControl = "0025";
  s.mode = 2;
  s.rdg = true;
  s.mpduDensity = "5";
  build = Build(s);
  EXPECT_EQ(Slice(build.frame, 24, 6), Bytes({0x25, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(build.frame[1], 0x80) << "FC order bit";
  EXPECT_EQ(build.descriptor[0] & 0xE0, 5u << 5);
  EXPECT_TRUE(build.registers.rdgVisible);

  // QoS Data counts from L - 8: at L = 50, 24 bytes remain after the QoS
  // field, just enough for the debug information (descriptor + 4).
  s = Preset(17, "50");
  s.debugInfo = true;
  build = Build(s);
  EXPECT_EQ(Slice(build.frame, 28, 22), std::vector<std::uint8_t>(22, 0x00));
  s.debugInfo = false;
  EXPECT_EQ(Slice(Build(s).frame, 28, 22), std::vector<std::uint8_t>(22, 0xAA));
}

TEST(TxRecord, AggregationAddsWholeUnitsOnFourByteBoundaries) {
  RunSettings s = Preset(15, "40");
  s.aggregate = true;
  s.aggregateCount = 3;
  TxBuild build = Build(s);
  // 64 + 3 x (20 + 40 + 4): four units of 64 bytes.
  EXPECT_EQ(build.packetLength(), 256u);
  ASSERT_EQ(build.record.size(), 268u);
  for (std::size_t unit : {8u, 72u, 136u, 200u}) EXPECT_EQ(Slice(build.record, unit, 4), Bytes({0x3C, 0, 8, 0}));

  // 20 + 41 = 61 bytes pad to 64: every unit is 68 bytes, the last one whole.
  s.totalBytes = "41";
  build = Build(s);
  EXPECT_EQ(build.packetLength(), 272u);
  EXPECT_EQ(build.record[212 + 4 + 20 + 40], 0xAA) << "the last unit's last frame byte";
}

TEST(TxRecord, BadFieldsAreRefusedByName) {
  struct Case {
    const char* name;
    void (*change)(RunSettings&);
    const char* mentions;
  };
  const Case cases[] = {
      {"frame area", [](RunSettings& s) { s.totalBytes = "4096"; }, "\"Total bytes\" must be from 10 to 4095"},
      {"too short", [](RunSettings& s) { s.totalBytes = "9"; }, "\"Total bytes\""},
      {"typo", [](RunSettings& s) { s.address1 = "00GA40112233"; }, "\"Address1\": \"00GA40112233\" holds 'G'"},
      {"payload", [](RunSettings& s) { s.payload = "01 02"; }, "\"Payload\""},
      {"key", [](RunSettings& s) { s.descriptor.keyValue = "XYZ"; }, "\"Key Value\""},
      {"repeat", [](RunSettings& s) { s.repeat = "-1"; }, "\"Repeat\""},
      {"aggregate", [](RunSettings& s) { s.aggregate = true; s.aggregateCount = 11; }, "\"Aggregate\""},
  };
  for (const Case& c : cases) {
    RunSettings s = Preset(15, "40");
    c.change(s);
    const TxBuildResult result = BuildTxRun(s, kKestrelDescriptor);
    EXPECT_FALSE(result.ok()) << c.name;
    EXPECT_NE(result.problem.find(c.mentions), std::string::npos) << c.name << ": " << result.problem;
    EXPECT_TRUE(result.build.record.empty()) << c.name;
  }
}

TEST(TxRecord, ShortHexFieldsArePaddedWithZeroDigits) {
  RunSettings s = Preset(15, "24");
  s.address1 = "0A4";
  s.fc = "8";
  const TxBuild build = Build(s);
  EXPECT_EQ(Slice(build.frame, 0, 10), Bytes({0x80, 0x00, 0x00, 0x00, 0x0A, 0x40, 0x00, 0x00, 0x00, 0x00}));
}

TEST(TxRecord, BeaconBuildsNothing) {
  RunSettings s = Preset(6, "61");
  s.address1 = "not read";
  const TxBuildResult result = BuildTxRun(s, kKestrelDescriptor);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.build.frameType, 6);
  EXPECT_TRUE(result.build.record.empty());
}

TEST(TxRecord, IvWordAndWmmWords) {
  EXPECT_EQ(ComposeIvWord(0, 0), 0x00000020u);
  EXPECT_EQ(ComposeIvWord(4, 0), 0x00200020u);
  EXPECT_EQ(ComposeIvWord(3, 1), 0x00600020u);
  EXPECT_EQ(NibbleWord({2, 2, 3, 7, 2, 2, 3, 7}), 0x73227322u);
}

}  // namespace
}  // namespace kqa::txrx
