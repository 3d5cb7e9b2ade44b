#include "chip/tests/test_host.h"

#include <gtest/gtest.h>

#include "chip/efuse.h"

namespace kqa::chip::testing {

namespace {
constexpr std::uint16_t kEfuseControl = 0x24;
constexpr std::uint32_t kEfuseBusy = 1u << 30;
}  // namespace

usb::TransferResult TestHost::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                      std::uint16_t index, std::span<std::uint8_t> data) {
  const usb::SetupPacket setup{requestType, request, value, index, static_cast<std::uint16_t>(data.size())};
  return device_.controlTransfer(setup, data);
}

usb::TransferResult TestHost::vendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                       std::span<std::uint8_t> data) {
  return control(usb::kVendorIn, request, value, index, data);
}

usb::TransferResult TestHost::vendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                        std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> copy(data.begin(), data.end());
  return control(usb::kVendorOut, request, value, index, copy);
}

std::vector<std::uint8_t> TestHost::descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t length) {
  std::vector<std::uint8_t> data(length);
  const auto result = control(usb::kStandardInDevice, usb::kGetDescriptor, static_cast<std::uint16_t>(type << 8 | index),
                              type == usb::kStringDescriptor ? 0x0409 : 0, data);
  data.resize(result.ok() ? result.length : 0);
  return data;
}

void TestHost::configure(std::uint8_t configuration) {
  const auto result = control(usb::kStandardOutDevice, usb::kSetConfiguration, configuration, 0, {});
  EXPECT_TRUE(result.ok());
}

std::uint32_t TestHost::read32(std::uint16_t address, std::uint8_t request) {
  std::uint8_t data[4] = {};
  const auto result = vendorIn(request, 0, address, data);
  EXPECT_TRUE(result.ok()) << "read of 0x" << std::hex << address;
  return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) | static_cast<std::uint32_t>(data[3]) << 24;
}

void TestHost::write32(std::uint16_t address, std::uint32_t value, std::uint8_t request) {
  const std::uint8_t data[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  const auto result = vendorOut(request, 0, address, data);
  EXPECT_TRUE(result.ok()) << "write of 0x" << std::hex << address;
}

std::uint32_t TestHost::pollBusy(std::uint16_t address, std::uint32_t busyBit) {
  std::uint32_t value = 0;
  for (int i = 0; i < 10; ++i) {
    ++polls_;
    value = read32(address);
    if ((value & busyBit) == 0) break;
  }
  return value;
}

std::uint8_t TestHost::bbpRead(std::uint8_t id) {
  pollBusy(0x101C, 0x20000);
  write32(0x101C, 0xB0000u | static_cast<std::uint32_t>(id) << 8);
  return static_cast<std::uint8_t>(pollBusy(0x101C, 0x20000));
}

void TestHost::bbpWrite(std::uint8_t id, std::uint8_t value) {
  pollBusy(0x101C, 0x20000);
  write32(0x101C, 0xA0000u | static_cast<std::uint32_t>(id) << 8 | value);
}

std::uint8_t TestHost::rfRead(int bank, int reg) {
  pollBusy(0x0500, 0x80000000u);
  write32(0x0500, 0x80000000u | static_cast<std::uint32_t>(bank) << 14 | static_cast<std::uint32_t>(reg) << 8);
  return static_cast<std::uint8_t>(pollBusy(0x0500, 0x80000000u));
}

void TestHost::rfWrite(int bank, int reg, std::uint8_t value) {
  pollBusy(0x0500, 0x80000000u);
  write32(0x0500,
          0xC0000000u | static_cast<std::uint32_t>(bank) << 14 | static_cast<std::uint32_t>(reg) << 8 | value);
}

// --- eFuse -------------------------------------------------------------------

std::uint32_t TestHost::efuseRun(std::uint16_t offset, std::uint32_t operation, int waitReads) {
  const std::uint32_t control = read32(kEfuseControl) & ~(0xC0u | 0x3FF0000u);
  write32(kEfuseControl, control | static_cast<std::uint32_t>(offset & 0x3F0) << 16 | operation << 6 | kEfuseBusy);
  std::uint32_t value = 0;
  for (int i = 0; i < waitReads; ++i) {
    ++efuseControlReads_;
    value = read32(kEfuseControl);
    if ((value & kEfuseBusy) == 0) break;
  }
  return value;
}

std::uint16_t TestHost::efuseDataWord(std::uint16_t offset) {
  return static_cast<std::uint16_t>(read32(static_cast<std::uint16_t>(0x28 + (offset & 0xC))) >> (8 * (offset & 3)));
}

int TestHost::efuseLogicalRead(std::uint16_t offset, std::uint16_t& word) {
  const int result = static_cast<int>(efuseRun(offset, 0, 100) & 0x3F);
  word = result == Efuse::kUnmapped ? 0xFFFF : efuseDataWord(offset);
  return result;
}

std::uint16_t TestHost::efusePhysicalRead(std::uint16_t offset) {
  efuseRun(offset, 1, 100);
  return efuseDataWord(offset);
}

void TestHost::efusePhysicalWrite(std::uint16_t offset, std::uint16_t word) {
  efuseRun(offset, 1, 100);  // the other words of the block are burnt again as they are
  const auto data = static_cast<std::uint16_t>(0x28 + (offset & 0xC));
  const unsigned shift = 8u * (offset & 2u);
  write32(data, (read32(data) & ~(0xFFFFu << shift)) | static_cast<std::uint32_t>(word) << shift);
  efuseRun(offset, 3, 500);
}

}  // namespace kqa::chip::testing
