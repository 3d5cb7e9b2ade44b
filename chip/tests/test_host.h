#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "chip/kestrel.h"
#include "platform/usb/device_model/usb_device_model.h"
#include "platform/clock/virtual_clock.h"
#include "platform/usb/wire/usb_wire.h"

namespace kqa::chip::testing {

// A minimal host for the chip's tests: control transfers as the driver sends
// them, and the register, BBP, RF and eFuse protocols as the device layer
// runs them. Helpers report a failed transfer as a test failure.
class TestHost {
 public:
  explicit TestHost(usb::UsbDeviceModel& device) : device_(device) {}

  usb::TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                              std::uint16_t index, std::span<std::uint8_t> data);
  usb::TransferResult vendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                               std::span<std::uint8_t> data);
  usb::TransferResult vendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                std::span<const std::uint8_t> data = {});

  std::vector<std::uint8_t> descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t length = 255);
  void configure(std::uint8_t configuration = 1);

  std::uint32_t read32(std::uint16_t address, std::uint8_t request = 0x07);
  void write32(std::uint16_t address, std::uint32_t value, std::uint8_t request = 0x06);

  // Through MAC 0x101C / 0x0500 with the bounded busy polling of the device
  // layer (10 reads, no delay); `polls` counts the status reads.
  std::uint8_t bbpRead(std::uint8_t id);
  void bbpWrite(std::uint8_t id, std::uint8_t value);
  std::uint8_t rfRead(int bank, int reg);
  void rfWrite(int bank, int reg, std::uint8_t value);
  int polls() const { return polls_; }

  // The eFuse protocol through MAC 0x24-0x34 (waits of 100 or 500 reads).
  // A logical read returns the result field (the block, or 63 and 0xFFFF).
  int efuseLogicalRead(std::uint16_t offset, std::uint16_t& word);
  std::uint16_t efusePhysicalRead(std::uint16_t offset);
  void efusePhysicalWrite(std::uint16_t offset, std::uint16_t word);
  std::uint32_t efuseControlReads() const { return efuseControlReads_; }

 private:
  std::uint32_t pollBusy(std::uint16_t address, std::uint32_t busyBit);
  std::uint32_t efuseRun(std::uint16_t offset, std::uint32_t operation, int waitReads);
  std::uint16_t efuseDataWord(std::uint16_t offset);

  usb::UsbDeviceModel& device_;
  int polls_ = 0;
  std::uint32_t efuseControlReads_ = 0;
};

// A stepped chip (the EEPROM board, blank eFuse) on a virtual clock, with a host on it.
class ChipTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  Kestrel chip{clock, {.completions = Completions::Stepped}};
  TestHost host{chip};
};

}  // namespace kqa::chip::testing
