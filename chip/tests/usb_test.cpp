#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "chip/tests/test_host.h"

namespace kqa::chip {
namespace {

using namespace std::chrono_literals;
using testing::TestHost;
using usb::TransferStatus;

std::string Ascii(const std::vector<std::uint8_t>& descriptor) {
  std::string text;
  for (std::size_t i = 2; i + 1 < descriptor.size(); i += 2) text += static_cast<char>(descriptor[i]);
  return text;
}

class UsbTest : public testing::ChipTest {
 protected:
  TransferStatus statusOf(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                          std::uint16_t length) {
    std::vector<std::uint8_t> data(length);
    return host.control(requestType, request, value, index, data).status;
  }
};

TEST_F(UsbTest, DescriptorsCarryTheTestIdentifiersAndTwoBulkInThenSixBulkOutEndpoints) {
  const auto d = host.descriptor(usb::kDeviceDescriptor, 0);
  ASSERT_EQ(d.size(), 18u);
  EXPECT_EQ(d[1], usb::kDeviceDescriptor);
  EXPECT_EQ(d[2] | d[3] << 8, 0x0200);
  EXPECT_EQ(d[7], 64);
  EXPECT_EQ(d[8] | d[9] << 8, 0x1209);
  EXPECT_EQ(d[10] | d[11] << 8, 0x0001);
  EXPECT_EQ(d[17], 1);
  EXPECT_EQ(host.descriptor(usb::kDeviceDescriptor, 0, 8).size(), 8u) << "a short request gets a short answer";

  // The first interface lists two bulk IN, then six bulk OUT endpoints.
  const auto header = host.descriptor(usb::kConfigurationDescriptor, 0, 9);
  ASSERT_EQ(header.size(), 9u);
  const std::uint16_t total = static_cast<std::uint16_t>(header[2] | header[3] << 8);
  const auto c = host.descriptor(usb::kConfigurationDescriptor, 0, total);
  ASSERT_EQ(c.size(), total);
  ASSERT_EQ(c[9 + 1], usb::kInterfaceDescriptor);
  EXPECT_EQ(c[9 + 4], 8) << "endpoints of interface 0";
  std::vector<std::uint8_t> order;
  for (std::size_t at = 18; at + 7 <= c.size(); at += 7) {
    ASSERT_EQ(c[at + 1], usb::kEndpointDescriptor);
    EXPECT_EQ(c[at + 3] & 3, usb::kTransferBulk);
    EXPECT_EQ(c[at + 4] | c[at + 5] << 8, 512);
    order.push_back(c[at + 2]);
  }
  EXPECT_EQ(order, (std::vector<std::uint8_t>{0x81, 0x82, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}));
}

TEST_F(UsbTest, ConfigurationOneBringsTheInterfaceAndItsEndpoints) {
  std::vector<std::uint8_t> configuration(1, 0xAA);
  host.control(usb::kStandardInDevice, usb::kGetConfiguration, 0, 0, configuration);
  EXPECT_EQ(configuration[0], 0);
  EXPECT_EQ(statusOf(usb::kStandardInInterface, usb::kGetStatus, 0, 0, 2), TransferStatus::Stall)
      << "no interface before a configuration is selected";
  EXPECT_EQ(statusOf(usb::kStandardOutDevice, usb::kSetConfiguration, 2, 0, 0), TransferStatus::Stall);
  host.configure();
  host.control(usb::kStandardInDevice, usb::kGetConfiguration, 0, 0, configuration);
  EXPECT_EQ(configuration[0], 1);
  EXPECT_EQ(statusOf(usb::kStandardInInterface, usb::kGetStatus, 0, 0, 2), TransferStatus::Completed);
  EXPECT_EQ(statusOf(usb::kStandardInEndpoint, usb::kGetStatus, 0, 0x83, 2), TransferStatus::Stall);

  std::vector<std::uint8_t> status(2, 0xAA);
  EXPECT_EQ(statusOf(0x02, usb::kSetFeature, 0, 0x02, 0), TransferStatus::Completed);
  host.control(usb::kStandardInEndpoint, usb::kGetStatus, 0, 0x02, status);
  EXPECT_EQ(status, (std::vector<std::uint8_t>{1, 0})) << "halted";
}

TEST_F(UsbTest, RequestsTheChipDoesNotKnowStallAndChangeNothing) {
  EXPECT_EQ(statusOf(usb::kVendorOut, 0x03, 0, 0, 0), TransferStatus::Stall);
  EXPECT_EQ(statusOf(usb::kVendorIn, 0x06, 0, 0x1000, 4), TransferStatus::Stall) << "write request sent as IN";
  EXPECT_EQ(statusOf(usb::kVendorIn, 0x47, 0, 0x0230, 2), TransferStatus::Stall) << "SYS space is 4 bytes";
  EXPECT_EQ(statusOf(usb::kVendorIn, 0x09, 0, 0, 4), TransferStatus::Stall) << "EEPROM words are 2 bytes";
  EXPECT_EQ(statusOf(usb::kVendorOut, 0x0C, 0, 0, 0), TransferStatus::Stall) << "chip erase without its key";
  EXPECT_EQ(statusOf(usb::kVendorOut, 0x01, 0x05, 0, 0), TransferStatus::Stall) << "unknown device mode";
  EXPECT_EQ(statusOf(0x21, 0x00, 0, 0, 0), TransferStatus::Stall) << "class request";
  EXPECT_EQ(statusOf(usb::kStandardInDevice, usb::kGetDescriptor, 0x0600, 0, 10), TransferStatus::Stall)
      << "no device qualifier";

  std::uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(host.vendorIn(0x07, 0, 0xFFFE, buffer).status, TransferStatus::Stall) << "would pass 0xFFFF";
  EXPECT_EQ(buffer[0], 1) << "a stalled read leaves the buffer as it was";
}

TEST_F(UsbTest, UnplugReplugAndSoftDisconnectArePowerCycles) {
  std::vector<bool> heard;
  chip.setAttachListener([&](bool attached) { heard.push_back(attached); });
  host.write32(0x1004, 0x0000000C);
  host.configure();

  chip.unplug();
  EXPECT_FALSE(chip.isAttached());
  std::uint8_t data[4];
  EXPECT_EQ(host.vendorIn(0x07, 0, 0x0000, data).status, TransferStatus::NoDevice);
  chip.replug();
  EXPECT_TRUE(chip.isAttached());
  EXPECT_EQ(heard, (std::vector<bool>{false, true}));
  EXPECT_EQ(host.read32(0x1004), 0u) << "registers back to their power-on values";
  std::vector<std::uint8_t> configuration(1, 0xAA);
  host.control(usb::kStandardInDevice, usb::kGetConfiguration, 0, 0, configuration);
  EXPECT_EQ(configuration[0], 0) << "a fresh device is not configured";

  host.write32(0x1004, 0x0000000C);
  EXPECT_TRUE(host.vendorOut(0x01, 2, 0).ok()) << "soft disconnect";
  EXPECT_EQ(heard.size(), 2u) << "the status stage completes first";
  chip.runUntilIdle();
  EXPECT_EQ(heard, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(host.read32(0x1004), 0u);
}

TEST_F(UsbTest, TheEepromBoardPresentsTheStringsAndIdentityItsEepromHolds) {
  EXPECT_EQ(host.descriptor(usb::kStringDescriptor, 0), (std::vector<std::uint8_t>{4, 3, 0x09, 0x04}));
  EXPECT_EQ(Ascii(host.descriptor(usb::kStringDescriptor, 1)), "Torvek");
  EXPECT_EQ(Ascii(host.descriptor(usb::kStringDescriptor, 2)), "802.11n WLAN");
  EXPECT_EQ(Ascii(host.descriptor(usb::kStringDescriptor, 3)), "1.0");
  EXPECT_EQ(statusOf(usb::kStandardInDevice, usb::kGetDescriptor, 0x0304, 0x0409, 255), TransferStatus::Stall)
      << "table entry 4 is 0xFF: no string";

  const std::uint8_t vendor[2] = {0x34, 0x12};
  host.vendorOut(0x08, 0, 0x208, vendor);
  EXPECT_EQ(host.descriptor(usb::kDeviceDescriptor, 0)[8], 0x09) << "read at power-up only";
  chip.unplug();
  chip.replug();
  const auto d = host.descriptor(usb::kDeviceDescriptor, 0);
  EXPECT_EQ(d[8] | d[9] << 8, 0x1234);

  // A blank identity falls back to the ROM's.
  const std::uint8_t blank[2] = {0xFF, 0xFF};
  host.vendorOut(0x08, 0, 0x208, blank);
  chip.unplug();
  chip.replug();
  EXPECT_EQ(host.descriptor(usb::kDeviceDescriptor, 0)[8], 0x09);
}

TEST_F(UsbTest, DeviceModeRequestsReachTheirHooks) {
  std::vector<std::uint8_t> vectors(64);
  for (std::size_t i = 0; i < vectors.size(); ++i) vectors[i] = static_cast<std::uint8_t>(i);
  std::optional<ChipCore::VectorBlock> started;
  chip.withCore([&](ChipCore& core) {
    core.setFirmwareReloadHandler([&](const ChipCore::VectorBlock& block) { started = block; });
  });
  EXPECT_EQ(host.vendorOut(0x01, 0x12, 0, std::vector<std::uint8_t>(63)).status, TransferStatus::Stall);
  EXPECT_TRUE(host.vendorOut(0x01, 0x12, 0, vectors).ok());
  ASSERT_TRUE(started);
  EXPECT_EQ((*started)[63], 63);

  EXPECT_TRUE(host.vendorOut(0x01, 6, 1).ok());
  EXPECT_EQ(chip.withCore([](ChipCore& core) { return core.firmwareSource(); }), ChipCore::FirmwareSource::Internal);
  EXPECT_EQ(host.vendorOut(0x01, 6, 2).status, TransferStatus::Stall);
  EXPECT_TRUE(host.vendorOut(0x01, 8, 0).ok());
}

TEST_F(UsbTest, ControlFaultsHitTheMatchingTransfersOnly) {
  chip.faults().failControl(ControlFault::Stall, 2, {.request = 0x07});
  std::uint8_t data[4];
  EXPECT_EQ(host.vendorIn(0x07, 0, 0, data).status, TransferStatus::Stall);
  EXPECT_EQ(host.vendorIn(0x47, 0, 0, data).status, TransferStatus::Completed);
  EXPECT_EQ(host.vendorIn(0x07, 0, 0, data).status, TransferStatus::Stall);
  EXPECT_EQ(host.vendorIn(0x07, 0, 0, data).status, TransferStatus::Completed) << "two were asked for";

  chip.faults().failControl(ControlFault::Timeout, ChipFaults::kAlways, {.index = 0x1020});
  EXPECT_EQ(host.vendorIn(0x07, 0, 0x1020, data).status, TransferStatus::Timeout);
  EXPECT_EQ(host.vendorIn(0x07, 0, 0x1020, data).status, TransferStatus::Timeout);
  const std::uint8_t word[4] = {1, 0, 0, 0};
  EXPECT_EQ(host.vendorOut(0x06, 0, 0x1020, word).status, TransferStatus::Timeout);
  EXPECT_EQ(chip.lastRfSerialWord(), 0u) << "a failed transfer has no effect";
  chip.faults().clear();
  EXPECT_EQ(host.vendorIn(0x07, 0, 0x1020, data).status, TransferStatus::Completed);
}

TEST(UsbTiming, TheHighSpeedModelChargesEachTransferOnTheChipsClock) {
  VirtualClock clock;
  Kestrel chip(clock, {.timing = ChipTiming::UsbHighSpeed(), .completions = Completions::Stepped});
  TestHost host(chip);
  host.read32(0x0000);
  EXPECT_EQ(clock.now(), 125us + 4 * 16ns);

  host.configure();
  const auto before = clock.now();
  std::vector<std::uint8_t> packet(4000);
  chip.submitBulk(0x02, packet, [](usb::TransferResult) {});
  chip.runUntilIdle();
  EXPECT_EQ(clock.now() - before, 20us + 4000 * 25ns);

  Kestrel immediate(clock, {.completions = Completions::Stepped});
  TestHost immediateHost(immediate);
  const auto then = clock.now();
  immediateHost.read32(0x0000);
  EXPECT_EQ(clock.now(), then) << "by default the chip answers at once";
}

}  // namespace
}  // namespace kqa::chip
