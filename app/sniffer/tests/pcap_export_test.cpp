// pcap export: the radiotap header byte by byte, the level conversion, and
// the file as tshark reads it back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/sniffer/capture_record.h"
#include "app/sniffer/pcap_export.h"
#include "app/sniffer/sniff_commands.h"
#include "app/sniffer/tests/record_builder.h"

namespace kqa::sniffer {
namespace {

using testing::BuildRecord;
using testing::Frame;
using testing::kBroadcast;
using testing::kStationA;
using testing::kStationB;
using testing::ScratchFolder;
using testing::Tshark;
using testing::TsharkInstalled;
using Bytes = std::vector<std::uint8_t>;

Bytes Radiotap(const testing::RecordSpec& spec, std::optional<int> channel,
               SignalCalibration calibration = {}) {
  const Bytes record = BuildRecord(spec);
  return RadiotapHeader(ParseCaptureRecord(record, 32), channel, calibration);
}

TEST(PcapExportTest, RadiotapCarriesFlagsRateChannelAndSignalAtTheirAlignment) {
  // CCK 11 Mbps with the short preamble and a bad FCS, on channel 1, RSSI
  // 0xC5 (LNA step 3: 33 dB, VGA 5) with offset 2 and band LNA gain 10:
  // 8 - 2 - 33 - 5 - 10 = -42 dBm.
  EXPECT_EQ(Radiotap({.frame = Frame(0xD4, {kStationA}),
                      .phyMode = 0,
                      .rateIndex = 11,
                      .crcError = true,
                      .rssi = 0xC5},
                     1, {.rssiOffset = 2, .bandLnaGain = 10}),
            (Bytes{0x00, 0x00, 0x0F, 0x00, 0x2E, 0x00, 0x00,
                   0x00,  // version, length 15, present: flags rate channel signal
                   0x42,  // bad FCS, short preamble
                   0x16,  // 11 Mbps in 500 kbps
                   0x6C, 0x09, 0xA0, 0x00,  // 2412 MHz, 2 GHz + CCK
                   0xD6}));                 // -42 dBm
  // HT MCS 7 at 40 MHz with the short guard interval, channel unknown; RSSI
  // 0x40 (LNA step 1: 0 dB at 40 MHz): 8 dBm uncalibrated.
  EXPECT_EQ(Radiotap({.frame = Frame(0xD4, {kStationA}),
                      .phyMode = 2,
                      .rateIndex = 7,
                      .wide = true,
                      .shortGi = true,
                      .rssi = 0x40},
                     std::nullopt),
            (Bytes{0x00, 0x00, 0x0D, 0x00, 0x22, 0x00, 0x08, 0x00,  // present: flags, signal, MCS
                   0x00, 0x08,                                      // flags, 8 dBm
                   0x0F, 0x05, 0x07}));  // known bw/index/gi/format; 40 MHz, short GI; MCS 7
  // OFDM 54 on channel 11, greenfield HT and an unknown rate.
  EXPECT_EQ(Radiotap({.frame = {0xD4, 0}, .phyMode = 1, .rateIndex = 7}, 11),
            (Bytes{0x00, 0x00, 0x0F, 0x00, 0x2E, 0x00, 0x00, 0x00, 0x00, 0x6C, 0x9E, 0x09, 0xC0,
                   0x00, 0x08}));
  EXPECT_EQ(Radiotap({.frame = {0xD4, 0}, .phyMode = 3, .rateIndex = 32}, std::nullopt),
            (Bytes{0x00, 0x00, 0x0D, 0x00, 0x22, 0x00, 0x08, 0x00, 0x00, 0x08, 0x0F, 0x08, 0x20}));
  EXPECT_EQ(Radiotap({.frame = {0xD4, 0}, .phyMode = 2, .rateIndex = 20}, std::nullopt),
            (Bytes{0x00, 0x00, 0x0A, 0x00, 0x22, 0x00, 0x00, 0x00, 0x00, 0x08}));
}

TEST(PcapExportTest, LevelsAndChannelsAsThePagesReckonThem) {
  EXPECT_EQ(RssiDbm(0xC5, false, {}), -30);  // 8 - 0 - 33 - 5 - 0
  EXPECT_EQ(RssiDbm(0xC5, true, {}), -31);   // 34 dB at 40 MHz
  EXPECT_EQ(RssiDbm(0x8A, false, {.rssiOffset = -3, .bandLnaGain = 12}),
            -26);                          // 8 + 3 - 15 - 10 - 12
  EXPECT_EQ(RssiDbm(0x41, false, {}), 9);  // step 1: -2 dB
  EXPECT_EQ(RssiDbm(0x41, true, {}), 7);   // step 1 at 40 MHz: 0 dB
  EXPECT_EQ(ChannelMhz(1), 2412);
  EXPECT_EQ(ChannelMhz(13), 2472);
  EXPECT_EQ(ChannelMhz(14), 2484);
  EXPECT_EQ(ChannelMhz(36), 5180);
  EXPECT_EQ(DsParameterChannel(testing::Beacon(kStationB, 6)), 6);
  Bytes probeResponse = testing::Beacon(kStationB, 11);
  probeResponse[0] = 0x50;
  EXPECT_EQ(DsParameterChannel(probeResponse), 11);
  Bytes cut = testing::Beacon(kStationB, 6);
  cut.resize(cut.size() - 1);  // the element runs past the frame
  EXPECT_EQ(DsParameterChannel(cut), std::nullopt);
  EXPECT_EQ(DsParameterChannel(Frame(0x08, {kStationA, kStationB, kBroadcast}, 40)), std::nullopt);
}

TEST(PcapExportTest, TheFileHeaderAndEachPacketFollowTheClassicLayout) {
  const Bytes record = BuildRecord(
      {.frame = Frame(0xD4, {kStationA}), .phyMode = 1, .rateIndex = 0, .timerUs = 3'000'250});
  Bytes malformed = BuildRecord({.frame = Frame(0xD4, {kStationA}), .frameSizeField = 4090});
  std::ostringstream out;
  ASSERT_TRUE(WritePcap(out, testing::Join({record, malformed}), {}));
  const std::string bytes = out.str();
  const Bytes file(bytes.begin(), bytes.end());
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 24),
            (Bytes{0xD4, 0xC3, 0xB2, 0xA1, 2,    0,    4, 0, 0,   0, 0, 0,
                   0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 127, 0, 0, 0}));
  // 3 s 250 us; radiotap (11: flags, rate, signal) + 10 bytes of ACK.
  EXPECT_EQ(Bytes(file.begin() + 24, file.begin() + 40),
            (Bytes{3, 0, 0, 0, 0xFA, 0, 0, 0, 21, 0, 0, 0, 21, 0, 0, 0}));
  // The malformed record keeps the 4064 bytes inside it of its 4090.
  const std::size_t second = 40 + 21;
  EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(second) + 8,
                  file.begin() + static_cast<std::ptrdiff_t>(second) + 16),
            (Bytes{0xEB, 0x0F, 0, 0, 0x05, 0x10, 0, 0}));  // 11 + 4064, 11 + 4090
  EXPECT_EQ(file.size(), second + 16 + 11 + 4064);
}

TEST(PcapExportTest, TsharkReadsTheFramesRatesChannelAndFcsFlagsBack) {
  if (!TsharkInstalled()) GTEST_SKIP() << "tshark is not installed (scripts/setup installs it)";
  struct Packet {
    testing::RecordSpec spec;
    // Type and subtype, receiver, bad FCS, short preamble, rate, MCS index,
    // bandwidth, channel, signal; "-" an absent field, "*" one not compared
    // (tshark's own figure for MCS 32).
    std::string expected;
  };
  const auto ack = [](std::uint32_t mode, std::uint32_t index) {
    return testing::RecordSpec{
        .frame = Frame(0xD4, {kStationA}), .phyMode = mode, .rateIndex = index, .rssi = 0xC5};
  };
  std::vector<Packet> packets = {
      {{.frame = testing::Beacon(kStationB, 6), .phyMode = 0, .rateIndex = 0, .rssi = 0xC5},
       "0x0008 ff:ff:ff:ff:ff:ff 0 0 1 - - 2437 -42"},
      {{.frame = Frame(0x08, {kStationA, kStationB, kBroadcast}, 60),
        .phyMode = 1,
        .rateIndex = 7,
        .crcError = true,
        .rssi = 0x8A},
       "0x0020 02:4b:51:00:00:01 1 0 54 - - 2437 -29"},
      {ack(0, 1), "0x001d 02:4b:51:00:00:01 0 0 2 - - 2437 -42"},
      {ack(0, 10), "0x001d 02:4b:51:00:00:01 0 1 5.5 - - 2437 -42"},
      {ack(0, 11), "0x001d 02:4b:51:00:00:01 0 1 11 - - 2437 -42"},
  };
  const char* ofdm[] = {"6", "9", "12", "18", "24", "36", "48", "54"};
  for (std::uint32_t i = 0; i < 8; ++i)
    packets.push_back(
        {ack(1, i), std::string("0x001d 02:4b:51:00:00:01 0 0 ") + ofdm[i] + " - - 2437 -42"});
  const char* ht[] = {"6.5", "13", "19.5", "26", "39", "52",  "58.5", "65",
                      "13",  "26", "39",   "52", "78", "104", "117",  "130"};
  for (std::uint32_t i = 0; i < 16; ++i)
    packets.push_back({ack(2, i), "0x001d 02:4b:51:00:00:01 0 0 " + std::string(ht[i]) + " " +
                                      std::to_string(i) + " 0 2437 -42"});
  packets.push_back({{.frame = Frame(0xB4, {kStationA, kStationB}),
                      .phyMode = 3,
                      .rateIndex = 32,
                      .crcError = true,
                      .wide = true,
                      .rssi = 0xC5},
                     "0x001b 02:4b:51:00:00:01 1 0 * 32 1 2437 -43"});
  packets.push_back({ack(2, 20), "0x001d 02:4b:51:00:00:01 0 0 - - - 2437 -42"});

  Bytes records;
  for (const Packet& packet : packets) {
    const Bytes record = BuildRecord(packet.spec);
    records.insert(records.end(), record.begin(), record.end());
  }
  ScratchFolder folder;
  const std::string path = folder.file("capture.pcap");
  ASSERT_EQ(SavePcapFile(path, records, {.calibration = {.rssiOffset = 2, .bandLnaGain = 10}}),
            PcapFileResult::Ok);

  const std::vector<std::string> lines = Tshark(
      path,
      "-e wlan.fc.type_subtype -e wlan.ra -e radiotap.flags.badfcs -e radiotap.flags.preamble "
      "-e wlan_radio.data_rate -e radiotap.mcs.index -e radiotap.mcs.bw -e radiotap.channel.freq "
      "-e radiotap.dbm_antsignal");
  ASSERT_EQ(lines.size(), packets.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // Empty fields print as nothing; mark them for the comparison.
    std::string line;
    std::istringstream fields(lines[i]);
    std::istringstream expected(packets[i].expected);
    std::string field;
    std::string want;
    bool first = true;
    while (std::getline(fields, field, ' ') && std::getline(expected, want, ' ')) {
      line += (first ? "" : " ") + (want == "*" ? want : field.empty() ? std::string("-") : field);
      first = false;
    }
    EXPECT_EQ(line, packets[i].expected) << "packet " << i;
  }
}

}  // namespace
}  // namespace kqa::sniffer
