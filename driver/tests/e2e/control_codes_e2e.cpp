// The control codes through the transport: their requests on the wire, their
// byte counts, and their answers to buffers that do not fit.
#include <algorithm>

#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;
using usb::TransferStatus;
using usb::testing::FakeDeviceModel;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> bytes) { return bytes; }

TEST_P(DriverTransportTest, CodesNotServedFailWithInvalidFunctionAndReleaseTheSemaphore) {
  for (std::uint32_t code : {0x223482u, 0x2234E0u, 0x222010u, 0x12345678u}) {
    const Reply reply = call(code, U32s({1, 2, 3}), 16);
    EXPECT_EQ(reply.result.error, ERROR_INVALID_FUNCTION) << std::hex << code;
    EXPECT_EQ(reply.result.bytesReturned, 0u);
  }
  EXPECT_TRUE(chip_.vendorLog().empty());
  EXPECT_EQ(readMac(0x0000), FakeDeviceModel::kKestrelIdentity);  // still served
}

TEST_P(DriverTransportTest, RegisterPairsReachTheirSpaceOnTheWire) {
  struct Pair {
    std::uint32_t read, write;
    std::uint8_t bRead, bWrite;
    FakeDeviceModel::Space space;
  };
  const Pair pairs[] = {
      {VQ_OID_USB_VENDOR_MAC_READ, VQ_OID_USB_VENDOR_MAC_WRITE, 0x07, 0x06, FakeDeviceModel::Space::Mac},
      {VQ_OID_USB_VENDOR_READ_DWORD, VQ_OID_USB_VENDOR_WRITE_DWORD, 0x07, 0x06, FakeDeviceModel::Space::Mac},
      {VQ_OID_USB_VENDOR_SYS_READ, VQ_OID_USB_VENDOR_SYS_WRITE, 0x47, 0x46, FakeDeviceModel::Space::Sys},
      {VQ_OID_USB_VENDOR_BASE0_READ, VQ_OID_USB_VENDOR_BASE0_WRITE, 0x27, 0x26, FakeDeviceModel::Space::Base0},
      {VQ_OID_USB_VENDOR_ALT_READ, VQ_OID_USB_VENDOR_ALT_WRITE, 0x17, 0x16, FakeDeviceModel::Space::Alt},
  };
  for (const Pair& pair : pairs) {
    chip_.clearLog();
    // Only the low 16 bits of a 32-bit address field travel.
    EXPECT_EQ(call(pair.write, U32s({0x00051234, 0xDEADBEEF, 0})).result.bytesReturned, 0u);
    EXPECT_EQ(chip_.registerValue(0x1234, pair.space), 0xDEADBEEFu);
    const Reply read = call(pair.read, U32s({0x1234, 0, 0, 0, 0}), 4);
    ASSERT_EQ(read.output.size(), 4u);
    EXPECT_EQ(U32At(read.output, 0), 0xDEADBEEFu);
    const auto log = chip_.vendorLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].setup, (usb::SetupPacket{usb::kVendorOut, pair.bWrite, 0, 0x1234, 4}));
    EXPECT_EQ(log[0].outData, Bytes({0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_EQ(log[1].setup, (usb::SetupPacket{usb::kVendorIn, pair.bRead, 0, 0x1234, 4}));
  }
}

TEST_P(DriverTransportTest, ByteAndHalfWordWrites) {
  chip_.setRegister(0x2000, 0x11223344);
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_WRITE_BYTE, U32s({0x2001, 0xAB})).result.bytesReturned, 0u);
  const Reply byte = call(VQ_OID_USB_VENDOR_READ_BYTE, U32s({0x2001}), 1);
  EXPECT_EQ(byte.output, Bytes({0xAB}));
  EXPECT_EQ(chip_.registerValue(0x2000), 0x1122AB44u);

  chip_.clearLog();
  call(VQ_OID_USB_VENDOR_WRITE_HALVES, U32s({0x3000, 0xCAFEF00D, 0}));
  auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].setup, (usb::SetupPacket{usb::kVendorOut, 0x02, 0xF00D, 0x3000, 0}));
  EXPECT_EQ(log[1].setup, (usb::SetupPacket{usb::kVendorOut, 0x02, 0xCAFE, 0x3002, 0}));

  // When the low half fails, the high half is not sent.
  chip_.clearLog();
  chip_.failRequest(0x02, TransferStatus::Stall);
  EXPECT_TRUE(call(VQ_OID_USB_VENDOR_WRITE_HALVES, U32s({0x3000, 0x12345678, 0})).result.succeeded());
  EXPECT_EQ(chip_.vendorLog().size(), 1u);
}

TEST_P(DriverTransportTest, MultiWordReadsRoundUpAndReadResultsOverwriteTheHeader) {
  chip_.setRegister(0x0100, 0xAAAA0001);
  chip_.setRegister(0x0104, 0xBBBB0002);
  const Reply five = call(VQ_OID_USB_VENDOR_MAC_READ_MULTI, U32s({0x0100, 5}), 16);
  ASSERT_EQ(five.output.size(), 8u);
  EXPECT_EQ(U32At(five.output, 0), 0xAAAA0001u);
  EXPECT_EQ(U32At(five.output, 4), 0xBBBB0002u);
  auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].setup.wIndex, 0x0104);

  chip_.clearLog();
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_READ_DWORDS, U32s({0x0100, 0}), 16).result.bytesReturned, 0u);
  EXPECT_TRUE(chip_.vendorLog().empty());

  EXPECT_TRUE(call(VQ_OID_USB_VENDOR_WRITE_DWORDS, U32s({0x0200, 8, 0x01020304, 0x05060708})).result.succeeded());
  EXPECT_EQ(chip_.registerValue(0x0200), 0x01020304u);
  EXPECT_EQ(chip_.registerValue(0x0204), 0x05060708u);
}

TEST_P(DriverTransportTest, AFailedReadStillAnswersItsByteCountWithTheBufferAsItStood) {
  chip_.failRequest(0x07, TransferStatus::Stall);
  const Reply reply = call(VQ_OID_USB_VENDOR_MAC_READ, U32s({0x1234, 0x11111111}), 8);
  EXPECT_TRUE(reply.result.succeeded());
  ASSERT_EQ(reply.output.size(), 4u);
  EXPECT_EQ(U32At(reply.output, 0), 0x1234u);  // the input bytes, untouched

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

TEST_P(DriverTransportTest, EepromTransfersTwoBytesPerRequestOnTheirPath) {
  chip_.setEepromWord(0x10, 0x2211);
  chip_.setEepromWord(0x12, 0x4433);
  const Reply three = call(VQ_OID_USB_VENDOR_EEPROM_READ, Bytes({0x10, 0x00, 3, 0}), 8);
  EXPECT_EQ(three.output, Bytes({0x11, 0x22, 0x33, 0x44}));
  auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].setup, (usb::SetupPacket{usb::kVendorIn, 0x09, 0, 0x10, 2}));
  EXPECT_EQ(log[1].setup.wIndex, 0x12);

  chip_.clearLog();
  EXPECT_EQ(call(VQ_OID_VENDOR_EEPROM_READ, Bytes({0x10, 0, 2, 0}), 2).output, Bytes({0x11, 0x22}));
  EXPECT_EQ(chip_.vendorLog().at(0).setup.bRequest, 0x0B);
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_EEPROM_READ, Bytes({0x10, 0, 0, 0}), 8).result.bytesReturned, 0u);

  chip_.clearLog();
  call(VQ_OID_USB_VENDOR_EEPROM_WRITE, Bytes({0x20, 0, 4, 0, 0xA1, 0xA2, 0xA3, 0xA4}));
  call(VQ_OID_VENDOR_EEPROM_WRITE, Bytes({0x30, 0, 2, 0, 0xB1, 0xB2}));
  log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].setup.bRequest, 0x08);
  EXPECT_EQ(log[1].setup.wIndex, 0x22);
  EXPECT_EQ(log[1].outData, Bytes({0xA3, 0xA4}));
  EXPECT_EQ(log[2].setup.bRequest, 0x0A);
  EXPECT_EQ(chip_.eepromWord(0x30), 0xB2B1);
}

TEST_P(DriverTransportTest, FlashRequestsSplitTheAddressAcrossValueAndIndex) {
  call(VQ_OID_USB_VENDOR_WRITE_FLASH, {0x00, 0x10, 0x02, 0x00, 3, 0, 0, 0, 0xC1, 0xC2, 0xC3});
  EXPECT_EQ(chip_.flashByte(0x21002), 0xC3);
  const Reply read = call(VQ_OID_USB_VENDOR_READ_FLASH, U32s({0x00021000, 4}), 4096);
  EXPECT_EQ(read.output, Bytes({0xC1, 0xC2, 0xC3, 0xFF}));
  call(VQ_OID_USB_VENDOR_ERASE_FLASH, U32s({0x00021000}));
  call(VQ_OID_USB_VENDOR_ERASE_FLASH_BLOCK, Bytes({7, 0}));
  call(VQ_OID_USB_VENDOR_ERASE_FLASH_CHIP);
  const auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].setup, (usb::SetupPacket{usb::kVendorOut, 0x0E, 0x1000, 0x0002, 3}));
  EXPECT_EQ(log[1].setup, (usb::SetupPacket{usb::kVendorIn, 0x0F, 0x1000, 0x0002, 4}));
  EXPECT_EQ(log[2].setup, (usb::SetupPacket{usb::kVendorOut, 0x0D, 0x1000, 0x0002, 0}));
  EXPECT_EQ(log[3].setup, (usb::SetupPacket{usb::kVendorOut, 0x10, 7, 0, 0}));
  EXPECT_EQ(log[4].setup, (usb::SetupPacket{usb::kVendorOut, 0x0C, 0xAAAA, 0xAAAA, 0}));
}

TEST_P(DriverTransportTest, BlockReadsAnswerTheirLengthWithALowSixteenBitDataStage) {
  chip_.setRegister(0x4000, 0x04030201);
  const Reply block = call(VQ_OID_USB_VENDOR_READ_BLOCK, U32s({0x4000, 3, 0, 0, 0}), 3);
  EXPECT_EQ(block.output, Bytes({1, 2, 3}));
  // A length above 16 bits still answers `length` bytes; the data stage is its low half.
  const Reply wide = call(VQ_OID_USB_VENDOR_READ_BLOCK, U32s({0x4000, 0x10002}), 0x10002);
  EXPECT_EQ(wide.output.size(), 0x10002u);
  EXPECT_EQ(chip_.vendorLog().back().setup.wLength, 2);
}

TEST_P(DriverTransportTest, DeviceModesAndFirmwareControls) {
  std::vector<std::uint8_t> vector(64);
  for (std::size_t i = 0; i < vector.size(); ++i) vector[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(call(VQ_OID_USB_FIRMWARE_RELOAD, vector, 64).output, vector);
  call(VQ_OID_USB_VENDOR_SELECT_FLASH, Bytes({1, 0}));
  call(VQ_OID_USB_VENDOR_SELECT_FLASH, Bytes({0, 0}));
  call(VQ_OID_USB_VENDOR_MODE_2);
  call(VQ_OID_USB_VENDOR_MODE_8);
  call(VQ_OID_USB_SET_FLASH_WIDTH, U32s({0}));  // kept, nothing sent
  const auto log = chip_.vendorLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].setup, (usb::SetupPacket{usb::kVendorOut, 0x01, 0x12, 0, 64}));
  EXPECT_EQ(log[0].outData, vector);
  EXPECT_EQ(log[1].setup, (usb::SetupPacket{usb::kVendorOut, 0x01, 6, 1, 0}));
  EXPECT_EQ(log[2].setup, (usb::SetupPacket{usb::kVendorOut, 0x01, 6, 0, 0}));
  EXPECT_EQ(log[3].setup.wValue, 2);
  EXPECT_EQ(log[4].setup.wValue, 8);

  for (std::uint32_t code : {VQ_OID_USB_GET_FIRMWARE_VERSION, VQ_OID_USB_QUERY_FIRMWARE_MODE})
    EXPECT_EQ(call(code, {}, 4).output, Bytes({0, 0, 0, 0}));

  chip_.setRegister(0x1404, 0xF0);
  call(VQ_OID_USB_SET_REG1404_BIT0, U32s({5}));
  EXPECT_EQ(chip_.registerValue(0x1404), 0xF1u);
  call(VQ_OID_USB_SET_REG1404_BIT0, U32s({0}));
  EXPECT_EQ(chip_.registerValue(0x1404), 0xF0u);
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
  EXPECT_GE(U32At(frame.output, 4), 777u);
}

TEST_P(DriverTransportTest, ShortInputsAndOutputsAreRefusedBeforeAnythingIsSent) {
  struct Case {
    std::uint32_t code;
    std::vector<std::uint8_t> input;
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
      {VQ_OID_USB_VENDOR_EEPROM_READ, Bytes({0, 0, 5, 0}), 5, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_VENDOR_EEPROM_WRITE, Bytes({0, 0, 3, 0, 1, 2, 3}), 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_WRITE_FLASH, {0, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3}, 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_VENDOR_READ_FLASH, U32s({0, 4096}), 4095, ERROR_INSUFFICIENT_BUFFER},
      {VQ_OID_USB_FIRMWARE_RELOAD, std::vector<std::uint8_t>(63), 64, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_SEND_QA_CMD, {0x10, 0}, 0, ERROR_INVALID_PARAMETER},
      {VQ_OID_USB_SEND_QA_CMD, std::vector<std::uint8_t>(65532), 0, ERROR_INVALID_PARAMETER},
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
}

TEST_P(DriverTransportTest, NoByteCountExceedsTheOutputBuffer) {
  // A firmware reload echoes 64 bytes and a command send counts its input;
  // callers that offer no output get no bytes.
  EXPECT_EQ(call(VQ_OID_USB_FIRMWARE_RELOAD, std::vector<std::uint8_t>(64), 0).result.bytesReturned, 0u);
  const Reply sent = call(VQ_OID_USB_SEND_QA_CMD, std::vector<std::uint8_t>(132, 0), 0);
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
  EXPECT_EQ(U64At(second.output, 0), 6u);
  EXPECT_EQ(U64At(second.output, 8), 4u);
  EXPECT_EQ(U64At(second.output, 16), 10u);
  EXPECT_EQ(U64At(second.output, 24), 14u);

  close();
  open();
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output, 0), 9u);
  call(VQ_OID_USB_RESET_COUNTERS);
  chip_.setRegister(0x1700, 0);
  chip_.setRegister(0x1704, 0);
  chip_.setRegister(0x1708, 0);
  const Reply cleared = call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96);
  for (std::size_t offset = 0; offset < 96; offset += 4) EXPECT_EQ(U32At(cleared.output, offset), 0u);
}

}  // namespace
}  // namespace kqa::driver::testing
