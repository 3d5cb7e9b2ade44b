// The sniffer page's logic: start and stop, the tick's whole records, the
// filters, the store's 20,000 records with and without Wrap Around, the data
// dialog's bounds, and the files through the prompt. Captures on the
// emulated chip are the page's test (views/tests) and the command line's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/device/tests/fake_device.h"
#include "app/sniffer/capture_session.h"
#include "app/sniffer/tests/record_builder.h"
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
  // A text that is not 12 hex digits is refused and the filter stays.
  EXPECT_FALSE(bed.session.setMacFilterText("024B5100001"));
  EXPECT_EQ(bed.session.macFilterText(), "024B51000001");
  bed.feed(testing::Join({beacon, bad, ack}));
  EXPECT_EQ(bed.rows().rowsHeld(), 5u);
  EXPECT_EQ(bed.rows().text(4, Column::Address1), "02:4B:51:00:00:01");

  // A failed read changes nothing; a device that is gone ends the capture
  // and keeps what was held.
  bed.chip.script(kRead, ERROR_GEN_FAILURE);
  bed.session.tick();
  EXPECT_EQ(bed.rows().rowsHeld(), 5u);
  EXPECT_TRUE(bed.session.capturing());
  bed.chip.script(kRead, ERROR_DEVICE_NOT_CONNECTED);
  bed.session.tick();
  EXPECT_FALSE(bed.session.capturing());
  EXPECT_TRUE(bed.session.deviceLost());
  EXPECT_EQ(bed.session.store().count(), 5u);
  bed.start();
  EXPECT_FALSE(bed.session.deviceLost());

  const auto before = bed.clock.now();
  bed.session.startStop();
  EXPECT_FALSE(bed.session.capturing());
  EXPECT_EQ(bed.chip.macWrites(0x1004), (std::vector<std::uint32_t>{0xC, 0xC, 0x4}));
  EXPECT_EQ(bed.chip.callsOf(ioctl::VQ_OID_USB_CAPTURE_STOP).size(), 1u);
  EXPECT_EQ(bed.clock.now() - before, std::chrono::milliseconds(1));
  bed.session.tick();
  EXPECT_EQ(bed.chip.callsOf(kRead).size(), 5u) << "no read while idle";
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{MacFilterProblem("024B5100001")});
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
    EXPECT_EQ(bed.session.startStop(), page::Outcome::Failed);
    EXPECT_FALSE(bed.session.capturing());
    EXPECT_TRUE(bed.chip.macWrites(0x1004).empty());
    EXPECT_TRUE(bed.chip.callsOf(ioctl::VQ_OID_USB_CAPTURE_START).empty());
    EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  }
  {
    SessionBed bed;  // the driver refuses the capture: said, and the receiver put back
    bed.chip.script(ioctl::VQ_OID_USB_CAPTURE_START, ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(bed.session.startStop(), page::Outcome::Failed);
    EXPECT_FALSE(bed.session.capturing());
    EXPECT_EQ(bed.chip.macWrites(0x1004), (std::vector<std::uint32_t>{0xC, 0x4}));
    EXPECT_EQ(bed.prompt.messages(),
              std::vector<std::string>{"DeviceIoControl failed!  Error = 1167"});
  }
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
    bed.start();
    std::vector<std::size_t> held;
    FeedPast20000(bed, held);
    EXPECT_TRUE(bed.session.capturing());
    EXPECT_EQ(held[19], 19500u);
    EXPECT_EQ(held[20], 500u) << "the list emptied as the 20,000th record came in";
    EXPECT_EQ(bed.rows().text(0, Column::Number), "00001");
    EXPECT_EQ(bed.rows().text(0, Column::Address3), "02:00:00:00:4E:21");  // record 20,001
  }
}

TEST(CaptureSessionTest, TheDataDialogNeverReachesPastTheRecord) {
  SessionBed bed;
  bed.start();
  const Bytes ack = RingRecord({.frame = Frame(0xD4, {kStationA})});
  const Bytes past = RingRecord({.frame = Frame(0xD4, {kStationA}), .frameSizeField = 4090});
  bed.feed(testing::Join({ack, past}));
  EXPECT_FALSE(bed.session.openRecord(std::nullopt));
  EXPECT_FALSE(bed.session.openRecord(2));
  auto bytes = bed.session.openRecord(1);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bed.session.selectedRecord(), 1u);
  EXPECT_EQ(bytes->descriptor.size(), 32u);
  EXPECT_EQ(bytes->frame.size(), 4064u) << "the frame as far as the record holds it";
  EXPECT_EQ(bytes->frame.data() + bytes->frame.size(), bed.session.store().record(1).data() + 4096);
}

TEST(CaptureSessionTest, FilesGoThroughTheDialogsWithTheirExtensionRule) {
  testing::ScratchFolder folder;
  SessionBed bed;
  bed.start();
  bed.feed(testing::Join({Numbered(1), Numbered(2)}));
  bed.session.startStop();

  bed.prompt.answerFile(folder.file("capture"));
  EXPECT_EQ(bed.session.saveFile(), page::Outcome::Done);
  ASSERT_EQ(testing::ReadFile(folder.file("capture.pac")).size(), 4u + 2 * 4096);
  EXPECT_EQ(bed.prompt.events().back().dialog.filters,
            (std::vector<FileFilter>{{"Packet File (*.pac)", "*.pac"}}));
  EXPECT_EQ(bed.prompt.events().back().dialog.defaultExtension, "pac");

  bed.prompt.answerFile(std::nullopt);
  EXPECT_EQ(bed.session.loadFile(), page::Outcome::Cancelled);
  bed.prompt.answerFile(folder.file("absent"));
  EXPECT_EQ(bed.session.loadFile(), page::Outcome::Failed);
  EXPECT_EQ(bed.prompt.messages().back(), "Packet File not opened!");
  EXPECT_EQ(bed.rows().rowsHeld(), 2u) << "a file that cannot be opened loses nothing";
  bed.prompt.answerFile(folder.file("no/such/folder/x.pac"));
  bed.session.saveFile();
  EXPECT_EQ(bed.prompt.messages().back(), "Packet File not opened!");
}

}  // namespace
}  // namespace kqa::sniffer
