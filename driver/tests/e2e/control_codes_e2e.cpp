// The control codes through the transport: their requests on the wire, their
// byte counts, and their answers to buffers that do not fit.
#include <algorithm>
#include <numeric>

#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;
using usb::TransferStatus;
using usb::testing::FakeDeviceModel;
using Bytes = std::vector<std::uint8_t>;
using Sent = FakeDeviceModel::ControlRecord;
using Space = FakeDeviceModel::Space;

Sent In(std::uint8_t request, std::uint16_t value, std::uint16_t index, std::uint16_t length) {
  return {{usb::kVendorIn, request, value, index, length}, {}};
}
Sent Out(std::uint8_t request, std::uint16_t value, std::uint16_t index, Bytes data = {}) {
  return {{usb::kVendorOut, request, value, index, static_cast<std::uint16_t>(data.size())}, data};
}

void ExpectSent(const std::vector<Sent>& log, const std::vector<Sent>& expected) {
  ASSERT_EQ(log.size(), expected.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].setup, expected[i].setup) << "request " << i;
    EXPECT_EQ(log[i].outData, expected[i].outData) << "request " << i;
  }
}

TEST_P(DriverTransportTest, CodesNotServedFailWithInvalidFunctionAndReleaseTheSemaphore) {
  for (std::uint32_t code : {0x223482u, 0x2234E0u, 0x222010u, 0x12345678u}) {
    const Reply reply = call(code, U32s({1, 2, 3}), 16);
    EXPECT_EQ(reply.result.error, ERROR_INVALID_FUNCTION) << std::hex << code;
    EXPECT_EQ(reply.result.bytesReturned, 0u);
  }
  EXPECT_TRUE(chip_.vendorLog().empty());
  EXPECT_EQ(readMac(0x0000), FakeDeviceModel::kKestrelIdentity);  // still served
}

TEST_P(DriverTransportTest, RegisterPairsReachTheirSpace) {
  const struct {
    std::uint32_t read, write;
    std::uint8_t bRead, bWrite;
    Space space;
  } pairs[] = {
      {VQ_OID_USB_VENDOR_MAC_READ, VQ_OID_USB_VENDOR_MAC_WRITE, 0x07, 0x06, Space::Mac},
      {VQ_OID_USB_VENDOR_READ_DWORD, VQ_OID_USB_VENDOR_WRITE_DWORD, 0x07, 0x06, Space::Mac},
      {VQ_OID_USB_VENDOR_SYS_READ, VQ_OID_USB_VENDOR_SYS_WRITE, 0x47, 0x46, Space::Sys},
      {VQ_OID_USB_VENDOR_BASE0_READ, VQ_OID_USB_VENDOR_BASE0_WRITE, 0x27, 0x26, Space::Base0},
      {VQ_OID_USB_VENDOR_ALT_READ, VQ_OID_USB_VENDOR_ALT_WRITE, 0x17, 0x16, Space::Alt},
  };
  for (const auto& pair : pairs) {
    chip_.clearLog();
    const std::uint32_t value = 0xDEAD0000u + pair.bWrite;
    // Only the low 16 bits of a 32-bit address field travel.
    EXPECT_EQ(call(pair.write, U32s({0x00051234, value, 0})).result.bytesReturned, 0u);
    EXPECT_EQ(chip_.registerValue(0x1234, pair.space), value);
    const Reply read = call(pair.read, U32s({0x1234, 0, 0, 0, 0}), 4);
    ASSERT_EQ(read.output.size(), 4u);
    EXPECT_EQ(U32At(read.output, 0), value);
    ExpectSent(chip_.vendorLog(), {Out(pair.bWrite, 0, 0x1234, U32s({value})), In(pair.bRead, 0, 0x1234, 4)});
  }
}

TEST_P(DriverTransportTest, EachCodeSendsItsRequestsAndAnswersItsBytes) {
  chip_.setRegister(0x0100, 0xAAAA0001);
  chip_.setRegister(0x0104, 0xBBBB0002);
  chip_.setRegister(0x1404, 0xF0);
  chip_.setRegister(0x2000, 0x11223344);
  chip_.setRegister(0x4000, 0x04030201);
  chip_.setRegister(0x10, 0x44332211, Space::Eeprom);
  Bytes vector(64);
  std::iota(vector.begin(), vector.end(), std::uint8_t{0});
  struct Case {
    std::uint32_t code;
    Bytes input;
    std::size_t output;
    std::vector<Sent> sent;
    Bytes answer;
  };
  const Case cases[] = {
      // 0x223488 with 5 bytes: two reads, 8 bytes back, over the header.
      {VQ_OID_USB_VENDOR_MAC_READ_MULTI, U32s({0x0100, 5}), 16,
       {In(0x07, 0, 0x0100, 4), In(0x07, 0, 0x0104, 4)}, {0x01, 0x00, 0xAA, 0xAA, 0x02, 0x00, 0xBB, 0xBB}},
      {VQ_OID_USB_VENDOR_READ_DWORDS, U32s({0x0100, 0}), 16, {}, {}},
      {VQ_OID_USB_VENDOR_WRITE_DWORDS, U32s({0x0200, 8, 0x01020304, 0x05060708}), 0,
       {Out(0x06, 0, 0x0200, U32s({0x01020304})), Out(0x06, 0, 0x0204, U32s({0x05060708}))}, {}},
      {VQ_OID_USB_VENDOR_READ_BLOCK, U32s({0x4000, 3, 0, 0, 0}), 3, {In(0x07, 0, 0x4000, 3)}, {1, 2, 3}},
      {VQ_OID_USB_VENDOR_READ_BYTE, U32s({0x2001}), 1, {In(0x07, 0, 0x2001, 1)}, {0x33}},
      {VQ_OID_USB_VENDOR_WRITE_BYTE, U32s({0x2001, 0xAB}), 0, {Out(0x06, 0, 0x2001, {0xAB})}, {}},
      {VQ_OID_USB_VENDOR_WRITE_HALVES, U32s({0x3000, 0xCAFEF00D, 0}), 0,
       {Out(0x02, 0xF00D, 0x3000), Out(0x02, 0xCAFE, 0x3002)}, {}},
      {VQ_OID_USB_SET_REG1404_BIT0, U32s({5}), 0,
       {In(0x07, 0, 0x1404, 4), Out(0x06, 0, 0x1404, U32s({0xF1}))}, {}},
      {VQ_OID_USB_SET_REG1404_BIT0, U32s({0}), 0,
       {In(0x07, 0, 0x1404, 4), Out(0x06, 0, 0x1404, U32s({0xF0}))}, {}},
      // 0x223490 with 3 bytes: two requests of two bytes, 4 bytes back.
      {VQ_OID_USB_VENDOR_EEPROM_READ, {0x10, 0, 3, 0}, 8, {In(0x09, 0, 0x10, 2), In(0x09, 0, 0x12, 2)},
       {0x11, 0x22, 0x33, 0x44}},
      {VQ_OID_USB_VENDOR_EEPROM_READ, {0x10, 0, 0, 0}, 8, {}, {}},
      {VQ_OID_VENDOR_EEPROM_READ, {0x10, 0, 2, 0}, 2, {In(0x0B, 0, 0x10, 2)}, {0x11, 0x22}},
      {VQ_OID_USB_VENDOR_EEPROM_WRITE, {0x20, 0, 4, 0, 0xA1, 0xA2, 0xA3, 0xA4}, 0,
       {Out(0x08, 0, 0x20, {0xA1, 0xA2}), Out(0x08, 0, 0x22, {0xA3, 0xA4})}, {}},
      {VQ_OID_VENDOR_EEPROM_WRITE, {0x30, 0, 2, 0, 0xB1, 0xB2}, 0, {Out(0x0A, 0, 0x30, {0xB1, 0xB2})}, {}},
      // Flash addresses travel as wValue (low half) and wIndex (high half).
      {VQ_OID_USB_VENDOR_WRITE_FLASH, {0x00, 0x10, 0x02, 0x00, 3, 0, 0, 0, 0xC1, 0xC2, 0xC3}, 0,
       {Out(0x0E, 0x1000, 0x0002, {0xC1, 0xC2, 0xC3})}, {}},
      {VQ_OID_USB_VENDOR_READ_FLASH, U32s({0x00021001, 2}), 4096, {In(0x0F, 0x1001, 0x0002, 2)}, {0xC2, 0xC3}},
      {VQ_OID_USB_VENDOR_ERASE_FLASH, U32s({0x00021000}), 0, {Out(0x0D, 0x1000, 0x0002)}, {}},
      {VQ_OID_USB_VENDOR_ERASE_FLASH_BLOCK, {7, 0}, 0, {Out(0x10, 7, 0)}, {}},
      {VQ_OID_USB_VENDOR_ERASE_FLASH_CHIP, {}, 0, {Out(0x0C, 0xAAAA, 0xAAAA)}, {}},
      {VQ_OID_USB_SET_FLASH_WIDTH, U32s({0}), 0, {}, {}},  // kept, nothing sent
      {VQ_OID_USB_VENDOR_SELECT_FLASH, {1, 0}, 0, {Out(0x01, 6, 1)}, {}},
      {VQ_OID_USB_VENDOR_SELECT_FLASH, {2, 0}, 0, {Out(0x01, 6, 0)}, {}},
      {VQ_OID_USB_VENDOR_MODE_2, {}, 0, {Out(0x01, 2, 0)}, {}},
      {VQ_OID_USB_VENDOR_MODE_8, {}, 0, {Out(0x01, 8, 0)}, {}},
      {VQ_OID_USB_FIRMWARE_RELOAD, vector, 64, {Out(0x01, 0x12, 0, vector)}, vector},
      {VQ_OID_USB_GET_FIRMWARE_VERSION, {}, 4, {}, {0, 0, 0, 0}},
      {VQ_OID_USB_QUERY_FIRMWARE_MODE, {}, 4, {}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.code);
    chip_.clearLog();
    const Reply reply = call(c.code, c.input, c.output);
    EXPECT_TRUE(reply.result.succeeded());
    EXPECT_EQ(reply.output, c.answer);
    ExpectSent(chip_.vendorLog(), c.sent);
  }
  EXPECT_EQ(chip_.registerValue(0x2000), 0x1122AB44u);

  // A block longer than 16 bits still answers `length` bytes; the data stage is its low half.
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_READ_BLOCK, U32s({0x4000, 0x10002}), 0x10002).output.size(), 0x10002u);
  EXPECT_EQ(chip_.vendorLog().back().setup.wLength, 2);
}

TEST_P(DriverTransportTest, FailedRequestsAreNotReportedAndWhatDependsOnThemIsNotSent) {
  chip_.failRequest(0x07, TransferStatus::Stall);
  const Reply reply = call(VQ_OID_USB_VENDOR_MAC_READ, U32s({0x1234, 0x11111111}), 8);
  EXPECT_TRUE(reply.result.succeeded());
  EXPECT_EQ(reply.output, U32s({0x1234}));  // the input bytes, untouched

  // 0x2234DC sends the high half only when the low half went through; a
  // read-modify-write whose read fails writes nothing.
  chip_.failRequest(0x02, TransferStatus::Stall);
  EXPECT_TRUE(call(VQ_OID_USB_VENDOR_WRITE_HALVES, U32s({0x3000, 0x12345678, 0})).result.succeeded());
  chip_.failRequest(0x07, TransferStatus::Stall);
  EXPECT_TRUE(call(VQ_OID_USB_SET_REG1404_BIT0, U32s({1})).result.succeeded());
  ExpectSent(chip_.vendorLog(), {In(0x07, 0, 0x1234, 4), Out(0x02, 0x5678, 0x3000), In(0x07, 0, 0x1404, 4)});

  // A chip that does not answer costs the one-second time-out, in virtual time.
  const auto before = clock_.now();
  chip_.failRequest(0x07, TransferStatus::Timeout);
  EXPECT_TRUE(call(VQ_OID_USB_VENDOR_MAC_READ, U32s({0x0000}), 4).result.succeeded());
  EXPECT_EQ(clock_.now() - before, Clock::Duration(std::chrono::seconds(1)));
}

TEST_P(DriverTransportTest, RfWriteWaitsForTheBusyBitAndGivesUpAfterTenReads) {
  chip_.queueReads(0x1020, {0x80000000, 0x80000000, 0x00000000});
  const auto before = clock_.now();
  call(VQ_OID_USB_VENDOR_RF_WRITE, U32s({0x00C0FFEE}));
  EXPECT_EQ(clock_.now() - before, Clock::Duration(std::chrono::microseconds(200)));
  auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[3].setup, (usb::SetupPacket{usb::kVendorOut, 0x06, 0, 0x1020, 4}));
  EXPECT_EQ(chip_.registerValue(0x1020), 0x00C0FFEEu);

  chip_.clearLog();
  chip_.queueReads(0x1020, std::vector<std::uint32_t>(10, 0x80000000));
  EXPECT_TRUE(call(VQ_OID_USB_VENDOR_RF_WRITE, U32s({0x1})).result.succeeded());
  log = chip_.vendorLog();
  EXPECT_EQ(log.size(), 10u);
  EXPECT_TRUE(std::all_of(log.begin(), log.end(), [](const auto& r) { return r.setup.bRequest == 0x07; }));
}

TEST_P(DriverTransportTest, StandardQueriesAreCutToTheOutputBuffer) {
  const Reply device = call(VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, 64);
  ASSERT_EQ(device.output.size(), 18u);
  EXPECT_EQ(device.output[8] | (device.output[9] << 8), FakeDeviceModel::kVendorId);
  EXPECT_EQ(call(VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, 8).output.size(), 8u);
  const Reply configuration = call(VQ_OID_USB_GET_CONFIGURATION_DESCRIPTOR, {}, 4096);
  ASSERT_GE(configuration.output.size(), 9u);
  EXPECT_EQ(configuration.output.size(), configuration.output[2] | (configuration.output[3] << 8));
  EXPECT_EQ(call(VQ_OID_USB_GET_CONFIGURATION_DESCRIPTOR, {}, 10).output.size(), 10u);

  chip_.setStatusAnswers({0x0001, 0x0000, 0x0001});
  EXPECT_EQ(call(VQ_OID_USB_GET_STATUS, {}, 6).output, Bytes({1, 0, 0, 0, 1, 0}));
  // A short answer ends the sequence; the six bytes come back as they stand.
  chip_.setStatusAnswers({0x0003, 0x0000, 0x0001}, {1, 2, 2});
  EXPECT_EQ(call(VQ_OID_USB_GET_STATUS, {}, 6).output, Bytes({3, 0, 0, 0, 0, 0}));
  chip_.failRequest(usb::kGetStatus, TransferStatus::Stall);
  EXPECT_EQ(call(VQ_OID_USB_GET_STATUS, {}, 6).result.bytesReturned, 0u);

  clock_.advance(std::chrono::milliseconds(777));
  const Reply frame = call(VQ_OID_USB_GET_FRAME_INFO, {}, 12);
  ASSERT_EQ(frame.output.size(), 12u);
  EXPECT_EQ(U32At(frame.output, 0), 12000u);
  EXPECT_EQ(U32At(frame.output, 4), 777u);  // the frame number counts the clock's milliseconds
}

TEST_P(DriverTransportTest, ShortInputsAndOutputsAreRefusedBeforeAnythingIsSent) {
  struct Case {
    std::uint32_t code;
    Bytes input;
    std::size_t output;
    Win32Error error;
  };
  const std::vector<Case> cases = {
      {VQ_OID_USB_VENDOR_MAC_READ, {0}, 4, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_MAC_READ, U32s({0}), 3, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_VENDOR_MAC_WRITE, U32s({0x10}), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_WRITE_BYTE, U32s({0x10}), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_MAC_READ_MULTI, U32s({0x10, 8}), 4, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_VENDOR_MAC_READ_MULTI, U32s({0x10, 0xFFFFFFFF}), 64, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_VENDOR_MAC_WRITE_MULTI, U32s({0x10, 8, 1}), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_READ_BLOCK, U32s({0x10, 100}), 99, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_VENDOR_EEPROM_READ, {0, 0, 5, 0}, 5, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_VENDOR_EEPROM_WRITE, {0, 0, 3, 0, 1, 2, 3}, 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_WRITE_FLASH, {0, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3}, 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_READ_FLASH, U32s({0, 4096}), 4095, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_FIRMWARE_RELOAD, Bytes(63), 64, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_SEND_QA_CMD, {0x10, 0}, 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_SEND_QA_CMD, Bytes(65532), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_TX_LOAD_PACKET, U32s({10, 4, 0}), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_TX_LOAD_PACKET, U32s({0, 65532}), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_TX_START, U32s({1, 1, 0, 0}), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_QUERY_TX_COUNTERS, {}, 43, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_QUERY_RX_STATISTICS, {}, 95, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_QUERY_RX1_TRANSFERS, {}, 7, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_CAPTURE_READ, {}, 5119, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_RX0_START, {0}, 0, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    const Reply reply = call(c.code, c.input, c.output);
    EXPECT_EQ(reply.result.error, c.error) << std::hex << c.code << " in " << std::dec << c.input.size()
                                            << " out " << c.output;
    EXPECT_EQ(reply.result.bytesReturned, 0u);
  }
  EXPECT_TRUE(chip_.vendorLog().empty());
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)) + chip_.pendingBulk(outEndpoint(0)), 0u);

  // No byte count beyond the output: a firmware reload echoes 64 bytes and a
  // command send counts its input, but a caller offering no output gets none.
  EXPECT_EQ(call(VQ_OID_USB_FIRMWARE_RELOAD, Bytes(64), 0).result.bytesReturned, 0u);
  const Reply sent = call(VQ_OID_USB_SEND_QA_CMD, Bytes(132), 0);
  EXPECT_TRUE(sent.result.succeeded());
  EXPECT_EQ(sent.result.bytesReturned, 0u);
}

TEST_P(DriverTransportTest, StatisticsAddOnlyTheNonZeroPartsAndSurviveAnOpen) {
  chip_.setRegister(0x1700, 0x00050003);  // RxStats[2] += 5, RxStats[0] += 3
  chip_.setRegister(0x1704, 0x00000007);  // RxStats[3] += 7
  chip_.setRegister(0x1708, 0x00020000);  // RxStats[1] += 2
  call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 256);
  const Reply second = call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 256);
  ASSERT_EQ(second.output.size(), 96u);
  EXPECT_EQ((std::vector<std::uint64_t>{U64At(second.output, 0), U64At(second.output, 8), U64At(second.output, 16),
                                        U64At(second.output, 24)}),
            (std::vector<std::uint64_t>{6, 4, 10, 14}));

  close();
  open();
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output, 0), 9u);
  call(VQ_OID_USB_RESET_COUNTERS);
  chip_.setRegister(0x1700, 0);
  chip_.setRegister(0x1704, 0);
  chip_.setRegister(0x1708, 0);
  EXPECT_EQ(call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output, Bytes(96, 0));
}

}  // namespace
}  // namespace kqa::driver::testing
