// The bulk pipelines through the transport: transmit modes and counts, the
// command channel, the receive walk, statistics, stamps and the capture ring.
// The chip holds every transfer until the test completes it.
#include <numeric>

#include "driver/payload.h"
#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;
using usb::TransferStatus;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t h = 20;  // the Kestrel's transmit descriptor
constexpr std::size_t r = 24;  // and receive descriptor
constexpr std::size_t kRecord = 5120;

// A transmit packet of `length` bytes: information word, descriptor, frame.
Bytes TxPacket(std::size_t length, std::uint8_t fill = 0x5A) {
  Bytes packet(length, fill);
  Put32(packet, 0, static_cast<std::uint32_t>(length - 4));
  Put32(packet, 8, 0);
  return packet;
}

// An 802.11 frame: frame control byte 0, a 24-byte header, then the payload;
// stamped frames carry the sending pipe's counter and number.
Bytes Frame(std::uint8_t frameControl, std::size_t payload = 40) {
  Bytes frame(24 + payload, 0);
  frame[0] = frameControl;
  return frame;
}
Bytes StampedFrame(std::uint8_t pipe, std::uint16_t counter) {
  auto frame = Frame(0x08);
  frame[22] = static_cast<std::uint8_t>(counter);
  frame[23] = static_cast<std::uint8_t>(counter >> 8);
  frame[24] = pipe;
  frame[25] = static_cast<std::uint8_t>((counter & 0xFF) + 1);
  return frame;
}

// One receive record: length word (descriptor + frame), information word,
// descriptor, frame; `more` follows in the same transfer.
Bytes Record(const Bytes& frame, std::uint32_t information = 0, const Bytes& more = {}) {
  Bytes record(8 + r, 0);
  Put32(record, 0, static_cast<std::uint32_t>(r + frame.size()));
  Put32(record, 4, information);
  record.insert(record.end(), frame.begin(), frame.end());
  record.insert(record.end(), more.begin(), more.end());
  return record;
}

TEST_P(DriverTransportTest, TxNSendsOnPPipesMakeNPlusPMinusOneTransfers) {
  load(0, TxPacket(96));
  load(2, TxPacket(96));
  chip_.clearLog();
  txStart(3, 0x5);
  // Register 0x0238: bit 23 set, then bit 19 set and cleared.
  const auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(U32At(log[1].outData, 0) & (1u << 23), 1u << 23);
  EXPECT_EQ(U32At(log[3].outData, 0) & (1u << 19), 1u << 19);
  EXPECT_EQ(U32At(log[5].outData, 0) & (1u << 19), 0u);

  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)) + chip_.pendingBulk(outEndpoint(2)), 2u);
  EXPECT_EQ(sendOut(0).size(), 100u);  // 3 -> 2: resubmitted
  sendOut(2);                          // 2 -> 1: resubmitted
  sendOut(0);                          // 1 -> 0: stops
  sendOut(2);                          // 0: stops
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)) + chip_.pendingBulk(outEndpoint(2)), 0u);
  EXPECT_EQ(txCounter(0), 4u);
  EXPECT_EQ(txCounter(1), 2u);
  EXPECT_EQ(txCounter(3), 2u);

  // Every pipe stopped, so a new start starts again.
  txStart(1, 0x1);
  EXPECT_EQ(sendOut(0).size(), 100u);
}

TEST_P(DriverTransportTest, TxLengthsThatAreMultiplesOf64MoveUpByFourOrByEightOnPipesTwoAndThree) {
  for (std::uint32_t pipe : {0u, 2u, 5u}) load(pipe, TxPacket(1532));  // 1536 with the closing zero bytes
  txStart(1, 0x25);
  const auto pipe0 = sendOut(0);
  EXPECT_EQ(pipe0.size(), 1540u);
  EXPECT_EQ(Bytes(pipe0.end() - 8, pipe0.end()), Bytes(8, 0));
  EXPECT_EQ(sendOut(2).size(), 1544u);
  EXPECT_EQ(sendOut(5).size(), 1540u);  // pipe 5 is the first bulk OUT endpoint

  // The firmware command file sends length + 4 bytes: what is missing stays zero.
  auto input = U32s({0, 12});
  for (std::uint8_t b : {1, 2, 3, 4, 5, 6, 7, 8}) input.push_back(b);
  ASSERT_TRUE(call(VQ_OID_USB_TX_LOAD_PACKET, input).result.succeeded());
  txStart(1, 0x1);
  EXPECT_EQ(sendOut(0), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(DriverTransportTest, TxStampModeNumbersEveryFramePerPipeAcrossOpens) {
  load(3, TxPacket(96));
  txStart(2, 1u << 3, kModeStamp, 0, 1);
  const auto first = sendOut(3);
  const auto second = sendOut(3);
  EXPECT_EQ(Bytes(first.begin() + h + 26, first.begin() + h + 30), (Bytes{0, 0, 3, 1}));
  EXPECT_EQ(Bytes(second.begin() + h + 26, second.begin() + h + 30), (Bytes{1, 0, 3, 2}));

  close();
  open();
  load(3, TxPacket(96));
  txStart(1, 1u << 3, kModeStamp, 0, 1);
  EXPECT_EQ(sendOut(3)[h + 26], 2);  // the counter is kept across opens
  // Without the stamp flag, mode 15 leaves the frame as loaded.
  load(3, TxPacket(96));
  txStart(1, 1u << 3, kModeStamp, 0, 0);
  EXPECT_EQ(sendOut(3)[h + 26], 0x5A);
}

TEST_P(DriverTransportTest, TxRandomModeFollowsTheGeneratorSeededAtOpen) {
  close();
  clock_.advance(std::chrono::microseconds(123456));
  const Clock::Duration openedAt = clock_.now();  // nothing waits before the seed is taken
  open();
  load(0, TxPacket(400));
  txStart(3, 0x1, kModeRandom);
  std::uint32_t state = LfsrSeed(openedAt);
  for (std::uint16_t frame = 0; frame < 3; ++frame) {
    const auto sent = sendOut(0);
    const std::uint32_t length = RandomFrameLength(static_cast<std::uint16_t>(LfsrDraw(state, 16)));
    ASSERT_EQ(sent.size(), length);
    EXPECT_EQ(sent[0] | (sent[1] << 8), length - 8);
    EXPECT_EQ((U32At(sent, 8) >> 16) & 0xFFF, length - h - 8);
    EXPECT_EQ(Bytes(sent.begin() + h + 26, sent.begin() + h + 30),
              (Bytes{static_cast<std::uint8_t>(frame), 0, 0, static_cast<std::uint8_t>(frame + 1)}));
    for (std::size_t i = h + 30; i < length; ++i) {  // the generator's bytes, then four zero bytes
      const auto expected = static_cast<std::uint8_t>(LfsrDraw(state, 8));
      ASSERT_EQ(sent[i], i < length - 4 ? expected : 0) << "byte " << i << " of frame " << frame;
    }
  }
}

TEST_P(DriverTransportTest, TxGrowingModeClimbsOnPipeZeroAndLeavesPipeOneAsLoaded) {
  load(0, TxPacket(96));  // base and current length 100
  txStart(0, 0x1, kModeGrowing);
  std::vector<std::size_t> lengths;
  for (int i = 0; i < 8; ++i) lengths.push_back(sendOut(0).size());
  EXPECT_EQ(lengths, (std::vector<std::size_t>{104, 108, 112, 116, 120, 124, 136, 140}));
  call(VQ_OID_USB_TX_STOP);
  sendOut(0);

  load(1, TxPacket(96));
  txStart(2, 0x2, kModeGrowing);
  EXPECT_EQ(sendOut(1).size(), 100u);
  EXPECT_EQ(sendOut(1).size(), 100u);
}

TEST_P(DriverTransportTest, TxContinuousRunsUntilStoppedAndARunningPipeTakesChangesAtItsNextTransfer) {
  load(0, TxPacket(96, 0x11));
  txStart(0, 0x1);
  load(0, TxPacket(200, 0x22));  // the transfer in flight keeps its bytes
  const auto inFlight = sendOut(0);
  EXPECT_EQ(inFlight.size(), 100u);
  EXPECT_EQ(inFlight[50], 0x11);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sendOut(0).size(), 204u);
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 1u);

  // While running, a start stores its count but starts nothing new.
  load(4, TxPacket(96));
  txStart(2, 0x11);
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(4)), 0u);
  sendOut(0);  // 2 -> 1
  sendOut(0);  // 1 -> 0
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
  EXPECT_EQ(txCounter(0), 2u);

  txStart(0, 0x1);
  const auto before = clock_.now();
  call(VQ_OID_USB_TX_STOP);
  EXPECT_EQ(clock_.now() - before, Clock::Duration(std::chrono::microseconds(1000)));
  sendOut(0);  // the transfer in flight ends the run
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
}

TEST_P(DriverTransportTest, TxErrorsAreResentUncountedAndAMarkedPacketGoesOutOnceMoreUnmarked) {
  auto packet = TxPacket(96);
  Put32(packet, 0, U32At(packet, 0) | (1u << 16));
  load(0, packet);
  txStart(2, 0x1, 0, 1);
  sendOut(0, TransferStatus::Stall);  // not counted, resubmitted
  EXPECT_NE(U32At(sendOut(0), 0) & (1u << 16), 0u);
  sendOut(0);
  EXPECT_EQ(txCounter(1), 2u);
  EXPECT_EQ(U32At(sendOut(0), 0) & (1u << 16), 0u);
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
  txStart(1, 0x1);  // TxRunning went back to 0
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 1u);
}

TEST_P(DriverTransportTest, CommandResponseIsReturnedOnlyForTheLastSequenceNumber) {
  Bytes command(132, 0);
  Put32(command, 0, 0x51F50008);  // sequence 5
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).result.bytesReturned, 0u);
  ASSERT_TRUE(call(VQ_OID_USB_SEND_QA_CMD, command).result.succeeded());
  const auto sent = sendOut(1);
  ASSERT_EQ(sent.size(), 136u);
  EXPECT_EQ(U32At(sent, 0), 0x51F50008u);
  EXPECT_EQ(U32At(sent, 132), 0u);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).result.bytesReturned, 0u);

  call(VQ_OID_USB_RX0_START, {0, 0});
  Bytes response(20, 0xAB);
  Put32(response, 0, 0x40050010);  // a response, sequence 5, 16 bytes
  receiveIn(0, response);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 0u);  // not resubmitted after a response
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).output, response);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).output, response);  // again

  Put32(command, 0, 0x51F60008);  // sequence 6: the old response no longer answers
  call(VQ_OID_USB_SEND_QA_CMD, command);
  sendOut(1);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).result.bytesReturned, 0u);

  // A response longer than the driver keeps is cut to its 1026 bytes.
  call(VQ_OID_USB_RX0_STOP);
  call(VQ_OID_USB_RX0_START, {0, 0});
  Bytes longResponse(4000, 0xCD);
  Put32(longResponse, 0, 0x40061FFF);
  receiveIn(0, longResponse);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 2048).output.size(), 1026u);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).result.error, ERROR_INSUFFICIENT_BUFFER);
}

TEST_P(DriverTransportTest, ReceiveWalkCountsEachRecordAndHonoursRxMultiFrame) {
  Bytes statistics;
  auto stats = [&] {
    statistics = call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output;
    return std::vector<std::uint64_t>{U64At(statistics, 32), U64At(statistics, 40), U64At(statistics, 48),
                                      U64At(statistics, 56)};
  };
  // A data frame of 100 bytes (with bit 4 of byte 4 set), then a beacon of 200.
  auto transfer = Record(Frame(0x08, 100 - r - 24), 0x10, Record(Frame(0x80, 200 - r - 24)));
  for (std::size_t i = 0; i < 8; ++i) transfer[16 + i] = static_cast<std::uint8_t>(0xA0 + i);
  ASSERT_EQ(transfer.size(), 316u);

  call(VQ_OID_USB_RX0_START, {0, 0});
  receiveIn(0, transfer);
  EXPECT_EQ(stats(), (std::vector<std::uint64_t>{1, 0, 1, 0}));
  // RxSignal: transfer bytes 16, 17, 18, 20, 21, 22.
  EXPECT_EQ(U32At(statistics, 72), 0xA0u);
  EXPECT_EQ(U32At(statistics, 84), 0xA4u);

  chip_.setRegister(0x0238, 0);  // bit 21 clear: one frame per transfer
  call(VQ_OID_USB_SYNC_RX_MULTI_FRAME);
  receiveIn(0, transfer);
  EXPECT_EQ(stats(), (std::vector<std::uint64_t>{2, 0, 1, 0}));

  // Management (not a beacon) and a CRC-errored transfer, which counts nothing.
  receiveIn(0, Record(Frame(0x40)));
  receiveIn(0, Record(Frame(0x08), 0x100));
  EXPECT_EQ(stats(), (std::vector<std::uint64_t>{2, 0, 1, 1}));
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX0_TRANSFERS, {}, 8).output, 0), 4u);
}

TEST_P(DriverTransportTest, AStampGapStopsReceptionAndContinuousTransmission) {
  load(0, TxPacket(96));
  txStart(0, 0x1, kModeStamp, 0, 1);
  call(VQ_OID_USB_RX0_START, {0, 0});
  // Two stamped records in one transfer: each record's own stamp is checked.
  receiveIn(0, Record(StampedFrame(0, 0), 0, Record(StampedFrame(0, 1))));
  receiveIn(0, Record(StampedFrame(2, 0)));
  receiveIn(0, Record(StampedFrame(7, 99)));  // pipes above 3 pass unchecked
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);
  receiveIn(0, Record(StampedFrame(0, 5)));  // expected 2
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 0u);
  sendOut(0);  // continuous transmission was cleared: the run ends
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);

  // The gap left no user: a new start submits again.
  call(VQ_OID_USB_RX0_START, {0, 0});
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);
}

TEST_P(DriverTransportTest, ReceiveUsersShareAPipeAndCloseCancelsEveryTransfer) {
  call(VQ_OID_USB_RX0_STOP);  // a stray stop leaves no negative user count
  call(VQ_OID_USB_CAPTURE_START);
  call(VQ_OID_USB_RX0_START, {0, 0});
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)) + chip_.pendingBulk(inEndpoint(1)), 2u);
  call(VQ_OID_USB_RX0_STOP);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);  // capture still uses it
  call(VQ_OID_USB_CAPTURE_STOP);
  chip_.flushCompletions();
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)) + chip_.pendingBulk(inEndpoint(1)), 0u);

  call(VQ_OID_USB_RX1_START, {2, 0});  // two transfers, then it stops
  receiveIn(1, Record(Frame(0x08)));
  receiveIn(1, Record(Frame(0x08)));
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(1)), 0u);
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX1_TRANSFERS, {}, 256).output, 0), 2u);

  load(0, TxPacket(96));
  txStart(0, 0x1);
  call(VQ_OID_USB_RX0_START, {0, 0});
  call(VQ_OID_USB_CAPTURE_START);
  close();
  chip_.flushCompletions();
  EXPECT_EQ(
      chip_.pendingBulk(outEndpoint(0)) + chip_.pendingBulk(inEndpoint(0)) + chip_.pendingBulk(inEndpoint(1)),
      0u);
  open();
  load(0, TxPacket(96));
  txStart(1, 0x1);
  EXPECT_EQ(sendOut(0).size(), 100u);
}

TEST_P(DriverTransportTest, CaptureRingWrapsAndReadsWholeRecordsOldestFirst) {
  EXPECT_EQ(call(VQ_OID_USB_CAPTURE_AVAILABLE, {}, 4).output, U32s({1}));
  call(VQ_OID_USB_CAPTURE_START);
  auto transfer = [](std::uint32_t index) {
    auto bytes = Record(Frame(0x08));
    if (index == 0) bytes.resize(7000, 0x77);  // longer than a record
    Put32(bytes, 8, index);                    // identifies the transfer in its record
    return bytes;
  };
  auto indices = [](const Reply& read) {  // of the records read
    std::vector<std::uint32_t> found;
    for (std::size_t at = 0; at < read.output.size(); at += kRecord) found.push_back(U32At(read.output, at + 8));
    return found;
  };
  for (std::uint32_t i = 0; i < 998; ++i) receiveIn(1, transfer(i));
  const Reply first = call(VQ_OID_USB_CAPTURE_READ, {}, 998 * kRecord);
  ASSERT_EQ(first.output.size(), 998 * kRecord);
  EXPECT_EQ(first.output[kRecord - 1], 0x77);  // cut at the record's end
  for (std::uint32_t i = 998; i < 1002; ++i) receiveIn(1, transfer(i));  // records 998, 999, 0, 1

  // Only whole records, only as many as the buffer holds.
  const Reply part = call(VQ_OID_USB_CAPTURE_READ, {}, 3 * kRecord + 100);
  ASSERT_EQ(part.output.size(), 3 * kRecord);
  EXPECT_EQ(indices(part), (std::vector<std::uint32_t>{998, 999, 1000}));
  EXPECT_EQ(part.output[3 * kRecord - 1], 0);  // zeros after the frame, not the tail of transfer 0
  const Reply rest = call(VQ_OID_USB_CAPTURE_READ, {}, 4096000);
  EXPECT_EQ(indices(rest), std::vector<std::uint32_t>{1001});
  EXPECT_EQ(call(VQ_OID_USB_CAPTURE_READ, {}, 4096000).result.bytesReturned, 0u);

  // A reader that falls a whole ring behind gets the newest 999 in order.
  for (std::uint32_t i = 0; i < 1001; ++i) receiveIn(1, transfer(5000 + i));
  std::vector<std::uint32_t> newest(999);
  std::iota(newest.begin(), newest.end(), 5002u);
  EXPECT_EQ(indices(call(VQ_OID_USB_CAPTURE_READ, {}, 1000 * kRecord)), newest);
}

TEST_P(DriverTransportTest, TheReceiveWalkStaysInsideTheBytesReceived) {
  call(VQ_OID_USB_CAPTURE_START);
  Bytes big(7000, 0x77);
  Put32(big, 0, 16000);  // a record that claims more than was received
  receiveIn(0, big);
  receiveIn(0, Record(Frame(0x08, 10)));
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output, 40), 1u);  // the second only
  const Reply read = call(VQ_OID_USB_CAPTURE_READ, {}, kRecord);
  ASSERT_EQ(read.output.size(), kRecord);
  EXPECT_EQ(U32At(read.output, 0), 16000u);         // recorded from where the walk stopped
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);  // recording keeps it going
}

}  // namespace
}  // namespace kqa::driver::testing
