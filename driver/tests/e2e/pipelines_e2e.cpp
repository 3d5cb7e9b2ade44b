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

constexpr std::size_t h = 20;  // the Kestrel's transmit descriptor
constexpr std::size_t r = 24;  // and receive descriptor
constexpr std::size_t kRecord = 5120;

void Put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// A transmit packet of `length` bytes: information word, descriptor, frame.
std::vector<std::uint8_t> TxPacket(std::size_t length, std::uint8_t fill = 0x5A) {
  std::vector<std::uint8_t> packet(length, fill);
  Put32(packet, 0, static_cast<std::uint32_t>(length - 4));
  Put32(packet, 8, 0);
  return packet;
}

// An 802.11 frame: frame control byte 0, a 24-byte header, then the payload;
// stamped frames carry the sending pipe's counter and number.
std::vector<std::uint8_t> Frame(std::uint8_t frameControl, std::size_t payload = 40) {
  std::vector<std::uint8_t> frame(24 + payload, 0);
  frame[0] = frameControl;
  return frame;
}
std::vector<std::uint8_t> StampedFrame(std::uint8_t pipe, std::uint16_t counter) {
  auto frame = Frame(0x08);
  frame[22] = static_cast<std::uint8_t>(counter);
  frame[23] = static_cast<std::uint8_t>(counter >> 8);
  frame[24] = pipe;
  frame[25] = static_cast<std::uint8_t>((counter & 0xFF) + 1);
  return frame;
}

// One receive record: length word (descriptor + frame), information word,
// descriptor, frame.
std::vector<std::uint8_t> Record(const std::vector<std::uint8_t>& frame, std::uint32_t information = 0) {
  std::vector<std::uint8_t> record(8 + r, 0);
  Put32(record, 0, static_cast<std::uint32_t>(r + frame.size()));
  Put32(record, 4, information);
  record.insert(record.end(), frame.begin(), frame.end());
  return record;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Loads a packet into OUT pipe `pipe` (TX_LOAD_PACKET), inside a test body.
#define LOAD(pipe, packet)                                                      \
  do {                                                                          \
    const std::vector<std::uint8_t> loaded = (packet);                          \
    auto input = U32s({pipe, static_cast<std::uint32_t>(loaded.size())});       \
    input.insert(input.end(), loaded.begin(), loaded.end());                    \
    ASSERT_TRUE(call(VQ_OID_USB_TX_LOAD_PACKET, input).result.succeeded());    \
  } while (0)

// The 20-byte TX start block.
std::vector<std::uint8_t> TxStartBlock(std::uint32_t count, std::uint32_t mask, std::uint32_t mode = 0,
                                       std::uint8_t resend = 0, std::uint8_t stamp = 0) {
  return U32s({count, mask, mode, resend, stamp});
}

std::vector<std::uint32_t> TxCounters(const std::vector<std::uint8_t>& reply) {
  std::vector<std::uint32_t> counters;
  for (std::size_t i = 0; i < 11; ++i) counters.push_back(U32At(reply, 4 * i));
  return counters;
}

TEST_P(DriverTransportTest, TxNSendsOnPPipesMakeNPlusPMinusOneTransfers) {
  LOAD(0, TxPacket(96));
  LOAD(2, TxPacket(96));
  chip_.clearLog();
  ASSERT_TRUE(call(VQ_OID_USB_TX_START, TxStartBlock(3, 0x5)).result.succeeded());
  // Register 0x0238: bit 23 set, then bit 19 set and cleared.
  const auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(U32At(log[1].outData, 0) & (1u << 23), 1u << 23);
  EXPECT_EQ(U32At(log[3].outData, 0) & (1u << 19), 1u << 19);
  EXPECT_EQ(U32At(log[5].outData, 0) & (1u << 19), 0u);

  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 1u);
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(2)), 1u);
  EXPECT_EQ(sendOut(0).size(), 100u);  // 3 -> 2: resubmitted
  sendOut(2);                          // 2 -> 1: resubmitted
  sendOut(0);                          // 1 -> 0: stops
  sendOut(2);                          // 0: stops
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)) + chip_.pendingBulk(outEndpoint(2)), 0u);
  const auto counters = TxCounters(call(VQ_OID_USB_QUERY_TX_COUNTERS, {}, 44).output);
  EXPECT_EQ(counters[0], 4u);
  EXPECT_EQ(counters[1], 2u);
  EXPECT_EQ(counters[3], 2u);

  // Every pipe stopped, so a new start starts again.
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 0x1));
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 1u);
  sendOut(0);
}

TEST_P(DriverTransportTest, TxLengthsThatAreMultiplesOf64MoveUp) {
  LOAD(0, TxPacket(1532));  // 1536 with the closing zero bytes
  LOAD(2, TxPacket(1532));
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 0x5));
  const auto pipe0 = sendOut(0);
  const auto pipe2 = sendOut(2);
  EXPECT_EQ(pipe0.size(), 1540u);
  EXPECT_EQ(pipe2.size(), 1544u);
  EXPECT_EQ(std::vector<std::uint8_t>(pipe0.end() - 8, pipe0.end()), std::vector<std::uint8_t>(8, 0));
}

TEST_P(DriverTransportTest, TxStampModeNumbersEveryFramePerPipeAcrossOpens) {
  LOAD(3, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(2, 1u << 3, kModeStamp, 0, 1));
  const auto first = sendOut(3);
  const auto second = sendOut(3);
  EXPECT_EQ(std::vector<std::uint8_t>(first.begin() + h + 26, first.begin() + h + 30),
            (std::vector<std::uint8_t>{0, 0, 3, 1}));
  EXPECT_EQ(std::vector<std::uint8_t>(second.begin() + h + 26, second.begin() + h + 30),
            (std::vector<std::uint8_t>{1, 0, 3, 2}));

  close();
  open();
  LOAD(3, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 1u << 3, kModeStamp, 0, 1));
  EXPECT_EQ(sendOut(3)[h + 26], 2);  // the counter is kept across opens
  // Without the stamp flag, mode 15 leaves the frame as loaded.
  LOAD(3, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 1u << 3, kModeStamp, 0, 0));
  EXPECT_EQ(sendOut(3)[h + 26], 0x5A);
}

TEST_P(DriverTransportTest, TxRandomModeFollowsTheGeneratorSeededAtOpen) {
  close();
  clock_.advance(std::chrono::microseconds(123456));
  const Clock::Duration openedAt = clock_.now();  // nothing waits before the seed is taken
  open();
  LOAD(0, TxPacket(400));
  call(VQ_OID_USB_TX_START, TxStartBlock(3, 0x1, kModeRandom));
  std::uint32_t state = LfsrSeed(openedAt);
  for (std::uint16_t frame = 0; frame < 3; ++frame) {
    const auto sent = sendOut(0);
    const std::uint32_t length = RandomFrameLength(static_cast<std::uint16_t>(LfsrDraw(state, 16)));
    ASSERT_EQ(sent.size(), length);
    EXPECT_EQ(sent[0] | (sent[1] << 8), length - 8);
    EXPECT_EQ((U32At(sent, 8) >> 16) & 0xFFF, length - h - 8);
    EXPECT_EQ(sent[h + 26], frame);  // stamped whatever the stamp flag says
    EXPECT_EQ(sent[h + 28], 0);
    EXPECT_EQ(sent[h + 29], frame + 1);
    for (std::size_t i = h + 30; i < length; ++i) {
      const auto expected = static_cast<std::uint8_t>(LfsrDraw(state, 8));
      if (i < length - 4) {
        ASSERT_EQ(sent[i], expected) << "byte " << i << " of frame " << frame;
      }
    }
    EXPECT_EQ(U32At(sent, length - 4), 0u);
  }
}

TEST_P(DriverTransportTest, TxGrowingModeClimbsOnPipeZeroAndLeavesPipeOneAsLoaded) {
  LOAD(0, TxPacket(96));  // base and current length 100
  call(VQ_OID_USB_TX_START, TxStartBlock(0, 0x1, kModeGrowing));
  std::vector<std::size_t> lengths;
  for (int i = 0; i < 8; ++i) lengths.push_back(sendOut(0).size());
  EXPECT_EQ(lengths, (std::vector<std::size_t>{104, 108, 112, 116, 120, 124, 136, 140}));
  call(VQ_OID_USB_TX_STOP);
  sendOut(0);

  LOAD(1, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(2, 0x2, kModeGrowing));
  EXPECT_EQ(sendOut(1).size(), 100u);
  EXPECT_EQ(sendOut(1).size(), 100u);
}

TEST_P(DriverTransportTest, TxContinuousRunsUntilStoppedAndARunningStartOnlyChangesSettings) {
  LOAD(0, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(0, 0x1));
  for (int i = 0; i < 5; ++i) sendOut(0);
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 1u);

  // While running, a start stores its count but starts nothing new.
  LOAD(4, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(2, 0x11));
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(4)), 0u);
  sendOut(0);  // 2 -> 1
  sendOut(0);  // 1 -> 0
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
  EXPECT_EQ(TxCounters(call(VQ_OID_USB_QUERY_TX_COUNTERS, {}, 44).output)[0], 2u);

  call(VQ_OID_USB_TX_START, TxStartBlock(0, 0x1));
  const auto before = clock_.now();
  call(VQ_OID_USB_TX_STOP);
  EXPECT_EQ(clock_.now() - before, Clock::Duration(std::chrono::microseconds(1000)));
  sendOut(0);  // the transfer in flight ends the run
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
}

TEST_P(DriverTransportTest, TxMarkedPacketGoesOutOnceMoreWithItsMarkCleared) {
  auto packet = TxPacket(96);
  Put32(packet, 0, U32At(packet, 0) | (1u << 16));
  LOAD(0, packet);
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 0x1, 0, 1));
  EXPECT_NE(U32At(sendOut(0), 0) & (1u << 16), 0u);
  EXPECT_EQ(U32At(sendOut(0), 0) & (1u << 16), 0u);
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 0x1));  // TxRunning went back to 0
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 1u);
  sendOut(0);
}

TEST_P(DriverTransportTest, TxTransferErrorsResubmitWhileSendsAreLeft) {
  LOAD(0, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(2, 0x1));
  sendOut(0, TransferStatus::Stall);  // not counted, resubmitted
  sendOut(0);
  sendOut(0);
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
  EXPECT_EQ(TxCounters(call(VQ_OID_USB_QUERY_TX_COUNTERS, {}, 44).output)[1], 2u);
}

TEST_P(DriverTransportTest, TxLoadIntoARunningPipeWaitsForItsNextTransfer) {
  LOAD(0, TxPacket(96, 0x11));
  call(VQ_OID_USB_TX_START, TxStartBlock(0, 0x1));
  LOAD(0, TxPacket(200, 0x22));  // the transfer in flight keeps its bytes
  const auto inFlight = sendOut(0);
  EXPECT_EQ(inFlight.size(), 100u);
  EXPECT_EQ(inFlight[50], 0x11);
  const auto next = sendOut(0);
  EXPECT_EQ(next.size(), 204u);
  EXPECT_EQ(next[50], 0x22);
  call(VQ_OID_USB_TX_STOP);
  sendOut(0);
}

TEST_P(DriverTransportTest, TxLoadWithoutTheClosingBytesKeepsThemZero) {
  // The firmware command file path sends length + 4 bytes of input.
  auto input = U32s({0, 12});
  for (std::uint8_t b : {1, 2, 3, 4, 5, 6, 7, 8}) input.push_back(b);
  ASSERT_TRUE(call(VQ_OID_USB_TX_LOAD_PACKET, input).result.succeeded());
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 0x1));
  EXPECT_EQ(sendOut(0), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(DriverTransportTest, CommandResponseIsReturnedOnlyForTheLastSequenceNumber) {
  std::vector<std::uint8_t> command(132, 0);
  Put32(command, 0, 0x51F50008);  // sequence 5
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).result.bytesReturned, 0u);
  ASSERT_TRUE(call(VQ_OID_USB_SEND_QA_CMD, command).result.succeeded());
  const auto sent = sendOut(1);
  ASSERT_EQ(sent.size(), 136u);
  EXPECT_EQ(U32At(sent, 0), 0x51F50008u);
  EXPECT_EQ(U32At(sent, 132), 0u);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).result.bytesReturned, 0u);

  call(VQ_OID_USB_RX0_START, {0, 0});
  std::vector<std::uint8_t> response(20, 0xAB);
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
  std::vector<std::uint8_t> longResponse(4000, 0xCD);
  Put32(longResponse, 0, 0x40061FFF);
  receiveIn(0, longResponse);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 2048).output.size(), 1026u);
  EXPECT_EQ(call(VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, 132).result.error, ERROR_INSUFFICIENT_BUFFER);
}

TEST_P(DriverTransportTest, ReceiveWalkCountsEachRecordAndHonoursRxMultiFrame) {
  std::vector<std::uint8_t> statistics;
  auto stats = [&] {
    statistics = call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output;
    return std::vector<std::uint64_t>{U64At(statistics, 32), U64At(statistics, 40), U64At(statistics, 48),
                                      U64At(statistics, 56)};
  };
  // A data frame of 100 bytes (with bit 4 of byte 4 set) and a beacon of 200.
  auto data = Record(Frame(0x08, 100 - r - 24), 0x10);
  auto beacon = Record(Frame(0x80, 200 - r - 24));
  for (std::size_t i = 0; i < 8; ++i) data[16 + i] = static_cast<std::uint8_t>(0xA0 + i);
  const auto transfer = Join({data, beacon});
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

TEST_P(DriverTransportTest, ReceiveWalkStopsAtARecordThatRunsPastTheBytesReceived) {
  auto record = Record(Frame(0x08));
  Put32(record, 0, 16000);  // claims more than was received
  call(VQ_OID_USB_CAPTURE_START);
  receiveIn(0, record);
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output, 40), 0u);
  const Reply read = call(VQ_OID_USB_CAPTURE_READ, {}, kRecord);
  ASSERT_EQ(read.output.size(), kRecord);
  EXPECT_EQ(U32At(read.output, 0), 16000u);  // the record where the walk stopped
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);  // recording keeps it going
  call(VQ_OID_USB_CAPTURE_STOP);
}

TEST_P(DriverTransportTest, AStampGapStopsReceptionAndContinuousTransmission) {
  LOAD(0, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(0, 0x1, kModeStamp, 0, 1));
  call(VQ_OID_USB_RX0_START, {0, 0});
  // Two stamped records in one transfer: each record's own stamp is checked.
  receiveIn(0, Join({Record(StampedFrame(0, 0)), Record(StampedFrame(0, 1))}));
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
  call(VQ_OID_USB_RX0_STOP);
}

TEST_P(DriverTransportTest, ReceiveUsersShareAPipeAndAStrayStopChangesNothing) {
  call(VQ_OID_USB_RX0_STOP);  // no user yet
  call(VQ_OID_USB_RX0_START, {0, 0});
  call(VQ_OID_USB_CAPTURE_START);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(1)), 1u);
  call(VQ_OID_USB_RX0_STOP);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 1u);  // capture still uses it
  call(VQ_OID_USB_CAPTURE_STOP);
  chip_.flushCompletions();
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 0u);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(1)), 0u);

  call(VQ_OID_USB_RX1_START, {2, 0});  // two transfers, then it stops
  receiveIn(1, Record(Frame(0x08)));
  receiveIn(1, Record(Frame(0x08)));
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(1)), 0u);
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX1_TRANSFERS, {}, 256).output, 0), 2u);
}

TEST_P(DriverTransportTest, CaptureRingWrapsAndReadsWholeRecordsOldestFirst) {
  EXPECT_EQ(call(VQ_OID_USB_CAPTURE_AVAILABLE, {}, 4).output, U32s({1}));
  call(VQ_OID_USB_CAPTURE_START);
  auto transfer = [](std::uint32_t index) {
    auto bytes = Record(Frame(0x08));
    Put32(bytes, 8, index);  // identifies the transfer in its record
    return bytes;
  };
  for (std::uint32_t i = 0; i < 998; ++i) receiveIn(1, transfer(i));
  EXPECT_EQ(call(VQ_OID_USB_CAPTURE_READ, {}, 998 * kRecord).output.size(), 998 * kRecord);
  for (std::uint32_t i = 998; i < 1002; ++i) receiveIn(1, transfer(i));  // records 998, 999, 0, 1

  // Only whole records, only as many as the buffer holds.
  const Reply part = call(VQ_OID_USB_CAPTURE_READ, {}, 3 * kRecord + 100);
  ASSERT_EQ(part.output.size(), 3 * kRecord);
  EXPECT_EQ(U32At(part.output, 8), 998u);
  EXPECT_EQ(U32At(part.output, kRecord + 8), 999u);
  EXPECT_EQ(U32At(part.output, 2 * kRecord + 8), 1000u);
  const Reply rest = call(VQ_OID_USB_CAPTURE_READ, {}, 4096000);
  ASSERT_EQ(rest.output.size(), kRecord);
  EXPECT_EQ(U32At(rest.output, 8), 1001u);
  EXPECT_EQ(call(VQ_OID_USB_CAPTURE_READ, {}, 4096000).result.bytesReturned, 0u);

  // A reader that falls a whole ring behind gets the newest 999 in order.
  for (std::uint32_t i = 0; i < 1001; ++i) receiveIn(1, transfer(5000 + i));
  const Reply behind = call(VQ_OID_USB_CAPTURE_READ, {}, 1000 * kRecord);
  ASSERT_EQ(behind.output.size(), 999 * kRecord);
  EXPECT_EQ(U32At(behind.output, 8), 5002u);
  EXPECT_EQ(U32At(behind.output, 998 * kRecord + 8), 6000u);
  call(VQ_OID_USB_CAPTURE_STOP);
}

TEST_P(DriverTransportTest, ACaptureRecordCutsALongTransferAndClearsItsTail) {
  call(VQ_OID_USB_CAPTURE_START);
  std::vector<std::uint8_t> big(7000, 0x77);
  Put32(big, 0, 0);  // no records to walk
  receiveIn(1, big);
  receiveIn(1, Record(Frame(0x08, 10)));
  const Reply read = call(VQ_OID_USB_CAPTURE_READ, {}, 2 * kRecord);
  ASSERT_EQ(read.output.size(), 2 * kRecord);
  EXPECT_EQ(read.output[kRecord - 1], 0x77);  // cut at the record's end
  const std::size_t second = kRecord + 8 + r + 24 + 10;
  EXPECT_EQ(read.output[second - 1], 0);        // the frame's last byte
  EXPECT_EQ(read.output[second], 0);            // then zeros, not the last lap's bytes
  EXPECT_EQ(read.output[2 * kRecord - 1], 0);
  call(VQ_OID_USB_CAPTURE_STOP);
}

TEST_P(DriverTransportTest, CloseCancelsEveryTransferInFlight) {
  LOAD(0, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(0, 0x1));
  call(VQ_OID_USB_RX0_START, {0, 0});
  call(VQ_OID_USB_CAPTURE_START);
  close();
  chip_.flushCompletions();
  EXPECT_EQ(chip_.pendingBulk(outEndpoint(0)), 0u);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 0u);
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(1)), 0u);
  open();
  LOAD(0, TxPacket(96));
  call(VQ_OID_USB_TX_START, TxStartBlock(1, 0x1));
  EXPECT_EQ(sendOut(0).size(), 100u);
}

}  // namespace
}  // namespace kqa::driver::testing
