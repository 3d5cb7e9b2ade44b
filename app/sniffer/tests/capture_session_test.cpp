// The sniffer page's logic: start and stop, the tick's whole records, the
// filters, the store's 20,000 records with and without Wrap Around, the data
// dialog, the files through the prompt, and a capture on the emulated chip.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/device/tests/emulated_bench.h"
#include "app/device/tests/fake_device.h"
#include "app/sniffer/capture_radio.h"
#include "app/sniffer/capture_session.h"
#include "app/sniffer/sniff_commands.h"
#include "app/sniffer/tests/record_builder.h"
#include "chip/radio/environment.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::sniffer {
namespace {

using device::testing::TestBed;
using testing::BuildRecord;
using testing::Frame;
using testing::kBroadcast;
using testing::kStationA;
using testing::kStationB;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRead = ioctl::VQ_OID_USB_CAPTURE_READ;

// A ring record as the driver answers it: the capture record's 4096 bytes,
// then 1024 more that the page must not keep.
Bytes RingRecord(const testing::RecordSpec& spec) {
  testing::RecordSpec ring = spec;
  ring.recordSize = 5120;
  Bytes record = BuildRecord(ring);
  std::fill(record.begin() + 4096, record.end(), 0xEE);
  return record;
}

// A data frame whose Address3 carries a running number.
Bytes Numbered(std::uint32_t n) {
  const Bytes number{0x02,
                     0,
                     static_cast<std::uint8_t>(n >> 24),
                     static_cast<std::uint8_t>(n >> 16),
                     static_cast<std::uint8_t>(n >> 8),
                     static_cast<std::uint8_t>(n)};
  return RingRecord({.frame = Frame(0x08, {kStationA, kStationB, number})});
}

struct SessionBed : TestBed {
  SessionBed() {
    chip.mac[0x1004] = 0x4;
    chip.script(ioctl::VQ_OID_USB_CAPTURE_AVAILABLE, ERROR_SUCCESS, {1, 0, 0, 0});
    session.initialize();
  }
  void start() {
    chip.script(ioctl::VQ_OID_USB_CAPTURE_START, ERROR_SUCCESS);
    chip.script(ioctl::VQ_OID_USB_CAPTURE_STOP, ERROR_SUCCESS);
    session.startStop();
  }
  void feed(const Bytes& answer) {
    chip.script(kRead, ERROR_SUCCESS, answer);
    session.tick();
  }
  std::vector<std::string> column(Column c) const {
    std::vector<std::string> cells;
    for (std::size_t i = 0; i < rows().rowsHeld(); ++i) cells.push_back(rows().text(i, c));
    return cells;
  }
  const PacketListModel& rows() const { return session.rows(); }

  SnifferBuffer snifferBuffer;
  CaptureSession session{device, memoryMode, snifferBuffer};
};

TEST(CaptureSessionTest, StartTickAndStopDriveTheReceiverAndTheDriversCapture) {
  SessionBed bed;
  EXPECT_TRUE(bed.session.startEnabled());
  EXPECT_EQ(bed.session.startLabel(), "Start &Capture");
  bed.start();
  EXPECT_TRUE(bed.session.capturing());
  EXPECT_EQ(bed.session.startLabel(), "Stop &Capture");
  EXPECT_EQ(bed.chip.macWrites(0x1004), (std::vector<std::uint32_t>{0xC}));
  EXPECT_EQ(bed.chip.callsOf(ioctl::VQ_OID_USB_CAPTURE_START).size(), 1u);

  // Three ring records and a torn tail: three rows, each record's first
  // 4096 bytes in the store.
  const Bytes beacon = RingRecord({.frame = testing::Beacon(kStationB, 1), .phyMode = 0});
  const Bytes bad =
      RingRecord({.frame = Frame(0x08, {kStationA, kStationB, kBroadcast}), .crcError = true});
  const Bytes ack = RingRecord({.frame = Frame(0xD4, {kStationB}), .phyMode = 1, .rateIndex = 4});
  Bytes answer = testing::Join({beacon, bad, ack});
  answer.resize(answer.size() + 100, 0x33);
  bed.feed(answer);
  ASSERT_EQ(bed.chip.callsOf(kRead).size(), 1u);
  EXPECT_EQ(bed.chip.callsOf(kRead)[0].outputSize, 5'120'000u);
  EXPECT_EQ(bed.column(Column::Protocol), (std::vector<std::string>{"Beacon", "Data", "ACK"}));
  EXPECT_EQ(bed.column(Column::Number), (std::vector<std::string>{"00001", "00002", "00003"}));
  ASSERT_EQ(bed.session.store().count(), 3u);
  EXPECT_TRUE(std::equal(ack.begin(), ack.begin() + 4096, bed.session.store().record(2).begin()));
  EXPECT_EQ(bed.session.crcErrorCount(), 1u);

  // The check boxes and the address take effect at the next tick; the CRC
  // counter counts what the filter drops too.
  bed.session.filter.beacon = false;
  bed.session.filter.crcError = false;
  bed.feed(testing::Join({beacon, bad, ack}));
  EXPECT_EQ(bed.column(Column::Protocol),
            (std::vector<std::string>{"Beacon", "Data", "ACK", "ACK"}));
  EXPECT_EQ(bed.session.crcErrorCount(), 2u);
  bed.session.filter = {};
  ASSERT_TRUE(bed.session.setMacFilterText("024B51000001"));
  bed.feed(testing::Join({beacon, bad, ack}));
  EXPECT_EQ(bed.rows().rowsHeld(), 5u);
  EXPECT_EQ(bed.rows().text(4, Column::Address1), "02:4B:51:00:00:01");

  // A failed read changes nothing.
  bed.chip.script(kRead, ERROR_GEN_FAILURE);
  bed.session.tick();
  EXPECT_EQ(bed.rows().rowsHeld(), 5u);

  const auto before = bed.clock.now();
  bed.session.startStop();
  EXPECT_FALSE(bed.session.capturing());
  EXPECT_EQ(bed.chip.macWrites(0x1004), (std::vector<std::uint32_t>{0xC, 0x4}));
  EXPECT_EQ(bed.chip.callsOf(ioctl::VQ_OID_USB_CAPTURE_STOP).size(), 1u);
  EXPECT_EQ(bed.clock.now() - before, std::chrono::milliseconds(1));
  bed.session.tick();
  EXPECT_EQ(bed.chip.callsOf(kRead).size(), 4u) << "no read while idle";
  EXPECT_TRUE(bed.prompt.messages().empty());
}

TEST(CaptureSessionTest, WhatKeepsACaptureFromStartingIsSaid) {
  {
    TestBed bed;  // the driver has no capture ring
    bed.chip.script(ioctl::VQ_OID_USB_CAPTURE_AVAILABLE, ERROR_SUCCESS, {0, 0, 0, 0});
    SnifferBuffer buffer;
    CaptureSession session(bed.device, bed.memoryMode, buffer);
    session.initialize();
    EXPECT_FALSE(session.startEnabled());
    EXPECT_TRUE(session.saveEnabled());
    EXPECT_EQ(bed.prompt.messages(),
              std::vector<std::string>{
                  "Driver's Non-Page Memory is too small, don't support sniffer mode!"});
  }
  {
    TestBed bed;  // a failed query keeps the preset answer
    SnifferBuffer buffer;
    CaptureSession session(bed.device, bed.memoryMode, buffer);
    session.initialize();
    EXPECT_TRUE(session.startEnabled());
    EXPECT_TRUE(bed.prompt.messages().empty());
  }
  {
    TestBed bed;  // no device
    bed.chip.present = false;
    SnifferBuffer buffer;
    CaptureSession session(bed.device, bed.memoryMode, buffer);
    session.initialize();
    EXPECT_FALSE(session.startEnabled());
    EXPECT_FALSE(session.saveEnabled());
  }
  {
    SessionBed bed;  // MAC 0x1004 cannot be read: nothing is written or started
    bed.chip.failingMacReads.insert(0x1004);
    bed.session.startStop();
    EXPECT_FALSE(bed.session.capturing());
    EXPECT_TRUE(bed.chip.macWrites(0x1004).empty());
    EXPECT_TRUE(bed.chip.callsOf(ioctl::VQ_OID_USB_CAPTURE_START).empty());
    EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  }
  {
    SessionBed bed;  // the driver refuses the capture: said, and the receiver put back
    bed.chip.script(ioctl::VQ_OID_USB_CAPTURE_START, ERROR_DEVICE_NOT_CONNECTED);
    bed.session.startStop();
    EXPECT_FALSE(bed.session.capturing());
    EXPECT_EQ(bed.chip.macWrites(0x1004), (std::vector<std::uint32_t>{0xC, 0x4}));
    EXPECT_EQ(bed.prompt.messages(),
              std::vector<std::string>{"DeviceIoControl failed!  Error = 1167"});
  }
}

TEST(CaptureSessionTest, ATextThatIsNotTwelveHexDigitsLeavesTheMacFilterAsItWas) {
  SessionBed bed;
  ASSERT_TRUE(bed.session.setMacFilterText("021122334455"));
  EXPECT_FALSE(bed.session.setMacFilterText("02112233445"));
  EXPECT_FALSE(bed.session.setMacFilterText("02112233445Z"));
  EXPECT_EQ(bed.session.macFilterText(), "021122334455");
  EXPECT_EQ(bed.session.filter.address, (MacAddress{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
  ASSERT_EQ(bed.prompt.messages().size(), 2u);
  EXPECT_EQ(bed.prompt.messages()[1], MacFilterProblem("02112233445Z"));
}

// 500 records, then 1000 a tick: the 20,000th kept record arrives in the
// middle of the 21st tick.
void FeedPast20000(SessionBed& bed, std::vector<std::size_t>& heldAfterEachTick) {
  std::uint32_t n = 0;
  for (std::size_t tick = 0; tick < 21 && bed.session.capturing(); ++tick) {
    Bytes answer;
    answer.reserve(1000 * 5120);
    for (std::size_t i = 0; i < (tick == 0 ? 500u : 1000u); ++i) {
      const Bytes record = Numbered(++n);
      answer.insert(answer.end(), record.begin(), record.end());
    }
    bed.feed(answer);
    heldAfterEachTick.push_back(bed.session.store().count());
  }
}

TEST(CaptureSessionTest, The20000thRecordStopsTheCaptureOrWithWrapAroundStartsTheListAgain) {
  {
    SessionBed bed;
    bed.start();
    std::vector<std::size_t> held;
    FeedPast20000(bed, held);
    EXPECT_FALSE(bed.session.capturing());
    EXPECT_EQ(held.size(), 21u);
    EXPECT_EQ(held.back(), 20000u);
    EXPECT_EQ(bed.rows().text(19999, Column::Number), "20000");
    EXPECT_EQ(bed.rows().text(19999, Column::Address3), "02:00:00:00:4E:20");  // record 20,000
    EXPECT_EQ(bed.chip.macWrites(0x1004).back(), 0x4u);
  }
  {
    SessionBed bed;
    bed.session.wrapAround = true;
    const std::uint8_t* storage = bed.snifferBuffer.bytes().data();
    bed.start();
    std::vector<std::size_t> held;
    FeedPast20000(bed, held);
    EXPECT_TRUE(bed.session.capturing());
    EXPECT_EQ(held[19], 19500u);
    EXPECT_EQ(held[20], 500u) << "the list emptied as the 20,000th record came in";
    EXPECT_EQ(bed.rows().text(0, Column::Number), "00001");
    EXPECT_EQ(bed.rows().text(0, Column::Address3), "02:00:00:00:4E:21");  // record 20,001
    EXPECT_EQ(bed.snifferBuffer.bytes().data(), storage);
    EXPECT_EQ(bed.snifferBuffer.bytes().size(), 81'920'000u);
    const auto update = bed.session.rows().pendingUpdate();
    EXPECT_TRUE(update.reset);
  }
}

TEST(CaptureSessionTest, TheDataDialogShowsTheDescriptorAndTheFrameOfTheStoredRecord) {
  SessionBed bed;
  bed.start();
  const Bytes ack = RingRecord({.frame = Frame(0xD4, {kStationA}), .rssi = 0x42});
  bed.feed(testing::Join({ack, ack}));
  EXPECT_FALSE(bed.session.openRecord(std::nullopt));
  EXPECT_FALSE(bed.session.openRecord(2));
  auto bytes = bed.session.openRecord(1);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bed.session.selectedRecord(), 1u);
  EXPECT_EQ(Bytes(bytes->descriptor.begin(), bytes->descriptor.end()),
            Bytes(ack.begin(), ack.begin() + 32));
  EXPECT_EQ(Bytes(bytes->frame.begin(), bytes->frame.end()), Frame(0xD4, {kStationA}));
  // An edit in the dialog reaches the store and, once told, the row.
  bytes->frame[0] = 0xC4;
  EXPECT_EQ(bed.rows().text(1, Column::Protocol), "ACK");
  bed.session.recordEdited(1);
  EXPECT_EQ(bed.rows().text(1, Column::Protocol), "CTS");
  EXPECT_EQ(bed.session.store().record(1)[32], 0xC4);
}

TEST(CaptureSessionTest, FilesGoThroughTheDialogsWithTheirExtensionRule) {
  testing::ScratchFolder folder;
  SessionBed bed;
  bed.start();
  bed.feed(testing::Join({Numbered(1), Numbered(2)}));
  bed.session.startStop();

  bed.prompt.answerFile(folder.file("capture"));
  bed.session.saveFile();
  ASSERT_EQ(testing::ReadFile(folder.file("capture.pac")).size(), 4u + 2 * 4096);
  EXPECT_EQ(bed.prompt.events().back().dialog.filters,
            (std::vector<FileFilter>{{"Packet File (*.pac)", "*.pac"}}));
  EXPECT_EQ(bed.prompt.events().back().dialog.defaultExtension, "pac");

  // A file cut short loads its whole records and says so.
  Bytes cut = testing::ReadFile(folder.file("capture.pac"));
  cut.resize(cut.size() - 1);
  testing::WriteFile(folder.file("cut.pac"), cut);
  bed.prompt.answerFile(folder.file("cut.pac"));
  bed.session.loadFile();
  EXPECT_EQ(bed.rows().rowsHeld(), 1u);
  EXPECT_EQ(bed.rows().text(0, Column::Address3), "02:00:00:00:00:01");
  EXPECT_EQ(bed.prompt.messages().back(),
            "Packet File is cut short: it holds 1 whole of its 2 packets; those were loaded!");

  bed.prompt.answerFile(folder.file("absent"));
  bed.session.loadFile();
  EXPECT_EQ(bed.prompt.messages().back(), "Packet File not opened!");
  EXPECT_EQ(bed.rows().rowsHeld(), 1u) << "a file that cannot be opened loses nothing";
  bed.prompt.answerFile(folder.file("no/such/folder/x.pac"));
  bed.session.saveFile();
  EXPECT_EQ(bed.prompt.messages().back(), "Packet File not opened!");
}

TEST(CaptureSessionTest, ACaptureOnTheEmulatedChipListsTheBeaconsOfItsChannel) {
  device::testing::BenchBed bed;
  const chip::Environment environment = chip::Environment::BuiltIn();
  const chip::AccessPoint* lab = environment.accessPoint("lab");
  ASSERT_NE(lab, nullptr);
  ASSERT_TRUE(TuneChannel(bed.device, lab->channel));
  SnifferBuffer buffer;
  CaptureSession session(bed.device, bed.memoryMode, buffer);
  session.initialize();
  ASSERT_TRUE(session.startEnabled());
  std::vector<std::size_t> progress;
  ASSERT_TRUE(RunTimedCapture(session, bed.device.clock, 2.0,
                              [&](const CaptureProgress& p) { progress.push_back(p.rows); }));
  EXPECT_FALSE(session.capturing());
  EXPECT_EQ(bed.bench.chip().peekRegister(0x1004) & 0x8, 0u);
  EXPECT_EQ(progress.size(), 4u);

  char bssid[18];
  std::snprintf(bssid, sizeof bssid, "%02X:%02X:%02X:%02X:%02X:%02X", lab->bssid[0], lab->bssid[1],
                lab->bssid[2], lab->bssid[3], lab->bssid[4], lab->bssid[5]);
  int beacons = 0;
  std::set<std::string> protocols;
  for (std::size_t i = 0; i < session.rows().rowsHeld(); ++i) {
    protocols.insert(session.rows().text(i, Column::Protocol));
    if (session.rows().text(i, Column::Protocol) != "Beacon") continue;
    ++beacons;
    EXPECT_EQ(session.rows().text(i, Column::Address1), "FF:FF:FF:FF:FF:FF");
    EXPECT_EQ(session.rows().text(i, Column::Address2), bssid);
    EXPECT_EQ(session.rows().text(i, Column::Rate), "1.0");
  }
  // A beacon every 102.4 ms for 2 s; the last tick is sure to see those up
  // to 1.5 s (the chip's thread delivers the rest as it gets to them).
  EXPECT_GE(beacons, 14);
  EXPECT_LE(beacons, 20);
  EXPECT_TRUE(protocols.count("Data") && protocols.count("ACK")) << "the stations' exchanges";
  EXPECT_FALSE(protocols.count("Malformed"));

  // Saved, the rows decode again as the command line prints them; exported,
  // tshark finds the lab's beacons on channel 1 at their level (-52 dBm,
  // with the board's RSSI offset and LNA gain from its EEPROM).
  testing::ScratchFolder folder;
  ASSERT_TRUE(session.savePacTo(folder.file("lab.pac")));
  std::ostringstream decoded;
  EXPECT_EQ(DecodePacFile(folder.file("lab.pac"), decoded), "");
  std::string lines;
  for (std::size_t i = 0; i < session.rows().rowsHeld(); ++i)
    lines += RowLine(session.rows().row(i), i) + "\n";
  EXPECT_EQ(decoded.str(), lines);
  ASSERT_TRUE(session.exportPcapTo(folder.file("lab.pcap")));
  EXPECT_TRUE(bed.prompt.messages().empty());
  if (!testing::TsharkInstalled())
    GTEST_SKIP() << "tshark is not installed (scripts/setup installs it)";
  const auto beaconLines = testing::Tshark(folder.file("lab.pcap"),
                                           "-Y 'wlan.fc.type_subtype == 8' -e wlan.ssid -e "
                                           "radiotap.channel.freq -e radiotap.dbm_antsignal");
  ASSERT_EQ(beaconLines.size(), static_cast<std::size_t>(beacons));
  for (const std::string& line : beaconLines) {
    std::istringstream fields(line);
    std::string ssid;
    int mhz = 0;
    int dbm = 0;
    fields >> ssid >> mhz >> dbm;
    EXPECT_EQ(ssid, "4b45535452454c2d4c4142");  // "KESTREL-LAB", as tshark prints bytes
    EXPECT_EQ(mhz, 2412);
    EXPECT_NEAR(dbm, -52, 3);
  }
}

}  // namespace
}  // namespace kqa::sniffer
