// Rows as the list shows them: the rate and protocol tables, the cells of a
// decoded record, malformed records, and the filters. (The lazy list and its
// batches are the page's test.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/sniffer/capture_filter.h"
#include "app/sniffer/packet_row.h"
#include "app/sniffer/tests/record_builder.h"

namespace kqa::sniffer {
namespace {

using testing::BuildRecord;
using testing::Frame;
using testing::kBroadcast;
using testing::kStationA;
using testing::kStationB;

std::string Cell(const std::vector<std::uint8_t>& record, Column column, std::size_t row = 0) {
  return CellText(SummarizeRecord(record, 32), row, column);
}

TEST(PacketRowTest, RateColumnFollowsThePhyModeAndRateIndex) {
  struct Case {
    std::uint32_t mode;
    std::uint32_t index;
    const char* text;
  };
  const std::vector<Case> cases = {
      {0, 0, "1.0"},    {0, 1, "2.0"},   {0, 2, "5.5"},    {0, 3, "11.0"},   {0, 8, "1.0"},
      {0, 9, "2.0"},    {0, 10, "5.5"},  {0, 11, "11.0"},  {0, 4, "0.0"},    {0, 12, "0.0"},
      {1, 0, "6.0"},    {1, 1, "9.0"},   {1, 2, "12.0"},   {1, 3, "18.0"},   {1, 4, "24.0"},
      {1, 5, "36.0"},   {1, 6, "48.0"},  {1, 7, "54.0"},   {1, 8, "0.0"},    {2, 0, "6.5"},
      {2, 1, "13.0"},   {2, 2, "19.5"},  {2, 3, "26.0"},   {2, 4, "39.0"},   {2, 5, "52.0"},
      {2, 6, "58.5"},   {2, 7, "65.0"},  {2, 8, "13.0"},   {2, 9, "26.0"},   {2, 10, "39.0"},
      {2, 11, "52.0"},  {2, 12, "78.0"}, {2, 13, "104.0"}, {2, 14, "117.0"}, {2, 15, "130.0"},
      {2, 32, "6.0"},   {2, 20, "0.0"},  {2, 16, "0.0"},   {3, 0, "6.5"},    {3, 7, "65.0"},
      {3, 15, "130.0"}, {3, 32, "6.0"},  {3, 20, "0.0"},   {3, 127, "0.0"},
  };
  for (const Case& c : cases) {
    const auto record =
        BuildRecord({.frame = Frame(0xD4, {kStationA}), .phyMode = c.mode, .rateIndex = c.index});
    EXPECT_EQ(Cell(record, Column::Rate), c.text) << "mode " << c.mode << " index " << c.index;
  }
}

TEST(PacketRowTest, ProtocolColumnNamesEveryTypeAndSubtype) {
  const std::vector<std::string> management = {"Assoc. request",   "Assoc. response",
                                               "ReAssoc. request", "ReAssoc. response",
                                               "Probe request",    "Probe response",
                                               "Reserved",         "Reserved",
                                               "Beacon",           "ATIM",
                                               "DisAssociation",   "Authentication",
                                               "DeAuthentication", "Reserved",
                                               "Reserved",         "Reserved"};
  const std::vector<std::string> control = {"Reserved", "Reserved", "Reserved", "Reserved",
                                            "Reserved", "Reserved", "Reserved", "Reserved",
                                            "Reserved", "Reserved", "PS-Poll",  "RTS",
                                            "CTS",      "ACK",      "CF-End",   "CF-End + CF-ACK"};
  const std::vector<std::string> data = {
      "Data",          "Data + CF-Ack", "Data + CF-Poll", "Data + CF-ACK + CF-Poll",
      "Null function", "CF-Ack",        "CF-Poll",        "CF-Ack + CF-Poll",
      "Reserved",      "Reserved",      "Reserved",       "Reserved",
      "Reserved",      "Reserved",      "Reserved",       "Reserved"};
  for (int subtype = 0; subtype < 16; ++subtype) {
    const auto byte = [&](int type) { return static_cast<std::uint8_t>(subtype << 4 | type << 2); };
    const auto protocol = [&](int type) {
      return Cell(BuildRecord({.frame = Frame(byte(type), {kStationA})}), Column::Protocol);
    };
    EXPECT_EQ(protocol(0), management[static_cast<std::size_t>(subtype)]) << subtype;
    EXPECT_EQ(protocol(1), control[static_cast<std::size_t>(subtype)]) << subtype;
    EXPECT_EQ(protocol(2), data[static_cast<std::size_t>(subtype)]) << subtype;
    EXPECT_EQ(protocol(3), "Reserved") << subtype;
  }
  // The version bits and the flags byte do not matter.
  EXPECT_EQ(Cell(BuildRecord({.frame = {0xB4, 0xFF, 0, 0}}), Column::Protocol), "RTS");
  EXPECT_EQ(Cell(BuildRecord({.frame = {0x83, 0x00}}), Column::Protocol), "Beacon");
}

TEST(PacketRowTest, ADataFrameFillsEveryColumnInOrder) {
  const auto record = BuildRecord({.frame = Frame(0x08, {kStationA, kStationB, kBroadcast}, 100),
                                   .phyMode = 1,
                                   .rateIndex = 7});
  EXPECT_EQ(RowLine(SummarizeRecord(record, 32), 41),
            "00042\t02:4B:51:00:00:01\t02:11:22:33:44:55\tFF:FF:FF:FF:FF:FF\t54.0\tData\t\t\t124");
}

TEST(PacketRowTest, AddressesOutsideTheFrameOrAllZeroStayEmpty) {
  // An ACK holds Address1 only; the bytes after it are not its addresses.
  auto ack = BuildRecord({.frame = Frame(0xD4, {kStationA})});
  std::fill(ack.begin() + 42, ack.begin() + 60, 0x77);
  const PacketRow row = SummarizeRecord(ack, 32);
  EXPECT_EQ(CellText(row, 0, Column::Address1), "02:4B:51:00:00:01");
  EXPECT_EQ(CellText(row, 0, Column::Address2), "");
  EXPECT_EQ(CellText(row, 0, Column::Address3), "");
  EXPECT_EQ(CellText(row, 0, Column::Size), "10");

  const std::vector<std::uint8_t> zero(6, 0);
  const auto zeros = BuildRecord({.frame = Frame(0x08, {kStationA, zero, kStationB})});
  EXPECT_EQ(Cell(zeros, Column::Address2), "");
  EXPECT_EQ(Cell(zeros, Column::Address3), "02:11:22:33:44:55");

  // The header size decides where the frame starts: with 24 the frame
  // control is the timer's first byte.
  const auto data =
      BuildRecord({.frame = Frame(0x08, {kStationA, kStationB, kBroadcast}), .timerUs = 0xC4});
  EXPECT_EQ(CellText(SummarizeRecord(data, 24), 0, Column::Protocol), "CTS");
}

TEST(PacketRowTest, AFrameSizeRunningPastTheRecordIsMalformed) {
  const auto frame = Frame(0x08, {kStationA, kStationB, kBroadcast});
  // 32 + 4064 = 4096: the last byte of the record is the frame's last.
  EXPECT_EQ(Cell(BuildRecord({.frame = frame, .frameSizeField = 4064}), Column::Protocol), "Data");
  const auto past = BuildRecord({.frame = frame, .frameSizeField = 4065});
  EXPECT_EQ(RowLine(SummarizeRecord(past, 32), 0), "00001\t\t\t\t6.0\tMalformed\t\t\t4065");
  EXPECT_EQ(Cell(BuildRecord({.frame = frame, .frameSizeField = 0xFFF}), Column::Size), "4095");
  // A header larger than the record leaves no room for any frame.
  EXPECT_EQ(CellText(SummarizeRecord(BuildRecord({.frame = frame}), 5000), 0, Column::Protocol),
            "Malformed");
  // An empty frame has no type.
  EXPECT_EQ(Cell(BuildRecord({.frame = {}}), Column::Protocol), "");
  // Records too short for the descriptor words (never from the driver).
  const std::vector<std::uint8_t> stub(12, 0xFF);
  EXPECT_TRUE(SummarizeRecord(stub, 32).has(PacketRow::kMalformed));
}

TEST(CaptureFilterTest, BeaconCrcAndAddressDecideWhatIsListed) {
  const auto beacon = SummarizeRecord(BuildRecord({.frame = testing::Beacon(kStationB, 1)}), 32);
  const auto bad = SummarizeRecord(
      BuildRecord({.frame = Frame(0x08, {kStationA, kBroadcast, kStationB}), .crcError = true}),
      32);
  const auto ack = SummarizeRecord(BuildRecord({.frame = Frame(0xD4, {kStationA})}), 32);
  const auto toB = SummarizeRecord(BuildRecord({.frame = Frame(0xB4, {kStationB, kStationA})}), 32);

  const auto keeps = [](CaptureFilter filter, const PacketRow& row) { return filter.keeps(row); };
  CaptureFilter all;
  EXPECT_TRUE(keeps(all, beacon) && keeps(all, bad) && keeps(all, ack) && keeps(all, toB));
  CaptureFilter noBeacon{.beacon = false};
  EXPECT_FALSE(keeps(noBeacon, beacon));
  EXPECT_TRUE(keeps(noBeacon, bad));
  CaptureFilter noCrc{.crcError = false};
  EXPECT_FALSE(keeps(noCrc, bad));
  EXPECT_TRUE(keeps(noCrc, beacon));
  // "PHY Error", "OFDM" and "11b" keep their state only.
  CaptureFilter stored{.phyError = false, .ofdm = false, .cck = false};
  EXPECT_TRUE(keeps(stored, beacon) && keeps(stored, bad) && keeps(stored, ack));

  CaptureFilter onA;
  onA.address = {0x02, 0x4B, 0x51, 0x00, 0x00, 0x01};
  EXPECT_TRUE(keeps(onA, bad));  // Address1
  EXPECT_TRUE(keeps(onA, ack));  // Address1 of an ACK
  EXPECT_TRUE(keeps(onA, toB));  // Address2
  EXPECT_FALSE(keeps(onA, beacon));
  CaptureFilter onB;
  onB.address = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  EXPECT_TRUE(keeps(onB, beacon));  // Address2 and 3
  EXPECT_TRUE(keeps(onB, bad));     // Address3 alone
  EXPECT_FALSE(keeps(onB, ack));    // no Address2 in an ACK
}

TEST(CaptureFilterTest, TheMacFilterTakesExactlyTwelveHexDigits) {
  EXPECT_EQ(ParseMacFilter("000000000000"), MacAddress{});
  EXPECT_EQ(ParseMacFilter("024b51000001"), (MacAddress{0x02, 0x4B, 0x51, 0x00, 0x00, 0x01}));
  EXPECT_EQ(ParseMacFilter(" 024B51000001\t"), (MacAddress{0x02, 0x4B, 0x51, 0x00, 0x00, 0x01}));
  for (const char* bad : {"", "0", "02:4B:51:00:00:01", "024B5100000", "024B510000011",
                          "024B5100000G", "024B5100 001", "0x4B51000001"})
    EXPECT_FALSE(ParseMacFilter(bad)) << '"' << bad << '"';
  EXPECT_EQ(MacFilterProblem(" 12AB "),
            "MAC address filter: \"12AB\" is not 12 hexadecimal digits.\nEnter 12 hexadecimal "
            "digits (0-9, A-F), "
            "for example 024B51000001; 000000000000 lists every address.");
}

TEST(CaptureFilterTest, FrameKindsNameTheCheckBoxesThatStayOn) {
  std::string problem;
  CaptureFilter filter;
  ASSERT_TRUE(ApplyFrameKinds(filter, "crc-error", problem));
  EXPECT_FALSE(filter.beacon);
  EXPECT_TRUE(filter.crcError);
  ASSERT_TRUE(ApplyFrameKinds(filter, "beacon, crc-error", problem));
  EXPECT_TRUE(filter.beacon && filter.crcError);
  ASSERT_TRUE(ApplyFrameKinds(filter, "none", problem));
  EXPECT_FALSE(filter.beacon || filter.crcError);
  filter.beacon = true;
  EXPECT_FALSE(ApplyFrameKinds(filter, "beacon,probe", problem));
  EXPECT_EQ(problem, "unknown frame kind \"probe\" (use beacon, crc-error or none)");
  EXPECT_TRUE(filter.beacon);
  EXPECT_FALSE(ApplyFrameKinds(filter, "", problem));
}

}  // namespace
}  // namespace kqa::sniffer
