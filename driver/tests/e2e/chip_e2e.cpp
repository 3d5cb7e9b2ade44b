// The driver through the transport against the emulated Kestrel itself: its
// registers, memories, descriptors, bulk endpoints, faults and plugging.
#include <memory>

#include "chip/bulk_endpoint.h"
#include "chip/kestrel.h"
#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;
using chip::Kestrel;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> bytes) { return bytes; }

TEST_P(KestrelTransportTest, RegistersAndMemoriesRoundTripThroughTheChip) {
  EXPECT_EQ(readMac(0x0000), 0x5EC70000u);
  const struct {
    std::uint32_t read, write;
    chip::Space space;
  } spaces[] = {{VQ_OID_USB_VENDOR_MAC_READ, VQ_OID_USB_VENDOR_MAC_WRITE, chip::Space::Mac},
                {VQ_OID_USB_VENDOR_SYS_READ, VQ_OID_USB_VENDOR_SYS_WRITE, chip::Space::Sys},
                {VQ_OID_USB_VENDOR_BASE0_READ, VQ_OID_USB_VENDOR_BASE0_WRITE, chip::Space::Base0},
                {VQ_OID_USB_VENDOR_ALT_READ, VQ_OID_USB_VENDOR_ALT_WRITE, chip::Space::Alt}};
  for (const auto& space : spaces) {
    call(space.write, U32s({0x1100, 0xA5A50000u + static_cast<std::uint32_t>(space.space), 0}));
    EXPECT_EQ(chip_->peekRegister(0x1100, space.space), 0xA5A50000u + static_cast<std::uint32_t>(space.space));
    EXPECT_EQ(U32At(call(space.read, U32s({0x1100}), 4).output, 0), chip_->peekRegister(0x1100, space.space));
  }
  call(VQ_OID_USB_VENDOR_WRITE_HALVES, U32s({0x1200, 0x89ABCDEF, 0}));
  EXPECT_EQ(chip_->peekRegister(0x1200), 0x89ABCDEFu);
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_MAC_READ_MULTI, U32s({0x1100, 8}), 8).output.size(), 8u);

  call(VQ_OID_USB_VENDOR_EEPROM_WRITE, Bytes({0x40, 0, 4, 0, 0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(call(VQ_OID_VENDOR_EEPROM_READ, Bytes({0x40, 0, 4, 0}), 4).output, Bytes({0x11, 0x22, 0x33, 0x44}));

  // Flash programming only clears bits; an erase brings back 0xFF.
  call(VQ_OID_USB_VENDOR_ERASE_FLASH, U32s({0x20000}));
  call(VQ_OID_USB_VENDOR_WRITE_FLASH, {0x00, 0x00, 0x02, 0x00, 2, 0, 0, 0, 0xF0, 0x0F});
  call(VQ_OID_USB_VENDOR_WRITE_FLASH, {0x00, 0x00, 0x02, 0x00, 2, 0, 0, 0, 0x3C, 0x3C});
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_READ_FLASH, U32s({0x20000, 2}), 4096).output, Bytes({0x30, 0x0C}));
  EXPECT_EQ(chip_->flashBytes(0x20000, 2), Bytes({0x30, 0x0C}));
}

TEST_P(KestrelTransportTest, RfSerialWritesWaitForTheChipAndGiveUpWhenItStaysBusy) {
  call(VQ_OID_USB_VENDOR_RF_WRITE, U32s({0x00123456}));
  EXPECT_EQ(chip_->lastRfSerialWord(), 0x00123456u);
  chip_->faults().setBusyStuck(chip::BusyUnit::RfSerial, true);
  call(VQ_OID_USB_VENDOR_RF_WRITE, U32s({0x00654321}));
  chip_->faults().clear();
  EXPECT_EQ(chip_->lastRfSerialWord(), 0x00123456u);
}

TEST_P(KestrelTransportTest, DescriptorsAndStatusComeFromTheChip) {
  const Reply device = call(VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, 18);
  ASSERT_EQ(device.output.size(), 18u);
  EXPECT_EQ(device.output[8] | (device.output[9] << 8), 0x1209);
  EXPECT_EQ(device.output[10] | (device.output[11] << 8), 0x0001);
  const Reply configuration = call(VQ_OID_USB_GET_CONFIGURATION_DESCRIPTOR, {}, 1024);
  ASSERT_GE(configuration.output.size(), 9u + 9u + 8u * 7u);
  EXPECT_EQ(configuration.output[9 + 4], 8);  // bNumEndpoints of the first interface
  EXPECT_EQ(call(VQ_OID_USB_GET_STATUS, {}, 6).output.size(), 6u);
}

TEST_P(KestrelTransportTest, TransmitRunsReachTheChipsEndpoints) {
  auto pipe0 = std::make_shared<chip::RecordingOutEndpoint>();
  auto pipe2 = std::make_shared<chip::RecordingOutEndpoint>();
  auto pipe5 = std::make_shared<chip::RecordingOutEndpoint>();
  chip_->setBulkHandler(0x02, pipe0);
  chip_->setBulkHandler(0x04, pipe2);
  chip_->setBulkHandler(0x01, pipe5);
  for (std::uint32_t pipe : {0u, 2u, 5u}) {
    auto load = U32s({pipe, 96});
    load.resize(8 + 96, static_cast<std::uint8_t>(0x10 + pipe));
    call(VQ_OID_USB_TX_LOAD_PACKET, load);
  }
  call(VQ_OID_USB_TX_START, U32s({3, 0x5, 0, 0, 0}));
  chip_->runUntilIdle();
  EXPECT_EQ(pipe0->transfers().size() + pipe2->transfers().size(), 4u);  // 3 sends on 2 pipes
  EXPECT_EQ(pipe2->transfers().at(0).at(50), 0x12);
  call(VQ_OID_USB_TX_START, U32s({1, 1u << 5, 0, 0, 0}));
  chip_->runUntilIdle();
  ASSERT_EQ(pipe5->transfers().size(), 1u);
  EXPECT_EQ(pipe5->transfers()[0].size(), 100u);
  EXPECT_EQ(U32At(call(VQ_OID_USB_QUERY_TX_COUNTERS, {}, 44).output, 0), 1u);
}

TEST_P(KestrelTransportTest, ReceivedRecordsAndCapturesComeFromTheChipsEndpoints) {
  auto in0 = std::make_shared<chip::QueuedInEndpoint>([this] { chip_->wakeBulkIn(0x81); });
  auto in1 = std::make_shared<chip::QueuedInEndpoint>([this] { chip_->wakeBulkIn(0x82); });
  chip_->setBulkHandler(0x81, in0);
  chip_->setBulkHandler(0x82, in1);
  // One beacon record: length word, information word, 24-byte descriptor, frame.
  std::vector<std::uint8_t> beacon(8 + 24 + 64, 0);
  beacon[0] = 24 + 64;
  beacon[8 + 24] = 0x80;
  in0->push(beacon);
  in0->push(beacon);
  call(VQ_OID_USB_RX0_START, {2, 0});
  chip_->runUntilIdle();
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX0_TRANSFERS, {}, 8).output, 0), 2u);
  EXPECT_EQ(U64At(call(VQ_OID_USB_QUERY_RX_STATISTICS, {}, 96).output, 48), 2u);  // beacons

  call(VQ_OID_USB_CAPTURE_START);
  for (int i = 0; i < 3; ++i) in1->push(beacon);
  chip_->runUntilIdle();
  const Reply records = call(VQ_OID_USB_CAPTURE_READ, {}, 10 * 5120);
  ASSERT_EQ(records.output.size(), 3u * 5120u);
  EXPECT_EQ(records.output[5120 + 8 + 24], 0x80);
  call(VQ_OID_USB_CAPTURE_STOP);
}

TEST_P(KestrelTransportTest, AChipThatIsNotUpFailsTheOpenAndATimedOutRequestCostsOneSecond) {
  close();
  chip_->faults().failIdentity(chip::ChipFaults::kAlways);
  EXPECT_EQ(provider_->open(kQaInterfaceClass, 0).error, ERROR_GEN_FAILURE);
  chip_->faults().clear();
  open();

  chip_->faults().failControl(chip::ControlFault::Timeout, 1, {.request = 0x07});
  const auto before = clock_.now();
  const Reply reply = call(VQ_OID_USB_VENDOR_MAC_READ, U32s({0x0000}), 4);
  EXPECT_TRUE(reply.result.succeeded());
  EXPECT_EQ(U32At(reply.output, 0), 0u);  // the input, untouched
  EXPECT_EQ(clock_.now() - before, Clock::Duration(std::chrono::seconds(1)));
}

TEST_P(KestrelTransportTest, UnplugAndSoftDisconnectEndTheHandle) {
  chip_->unplug();
  backend_->waitHotplugIdle();
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_MAC_READ, U32s({0}), 4).result.error, ERROR_DEVICE_NOT_CONNECTED);
  close();
  chip_->replug();
  backend_->waitHotplugIdle();
  open();
  EXPECT_EQ(readMac(0x0000), 0x5EC70000u);

  // Device mode 2 makes the chip leave the bus and come back.
  EXPECT_TRUE(call(VQ_OID_USB_VENDOR_MODE_2).result.succeeded());
  chip_->runUntilIdle();
  backend_->waitHotplugIdle();
  EXPECT_EQ(call(VQ_OID_USB_VENDOR_MAC_READ, U32s({0}), 4).result.error, ERROR_DEVICE_NOT_CONNECTED);
  close();
  backend_->waitHotplugIdle();
  open();
  EXPECT_EQ(readMac(0x0000), 0x5EC70000u);
}

}  // namespace
}  // namespace kqa::driver::testing
