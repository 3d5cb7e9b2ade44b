#pragma once

#include <cstdint>
#include <span>

#include "chip/bulk_engine.h"
#include "chip/usb_descriptors.h"
#include "platform/usb/wire/usb_wire.h"

namespace kqa::chip {

// The chip's USB device framework: the standard requests that reach a device
// (descriptors, status, address, configuration, interface, endpoint halts).
// Frame numbers, port status and resets belong to the host controller.
// Bulk endpoints exist only while configuration 1 is selected: until then
// their transfers end in Error.
class UsbFunction {
 public:
  explicit UsbFunction(BulkEngine& bulk) : bulk_(bulk) {}

  // Power-up or re-plug: the default state (address 0, no configuration, no
  // halted endpoint) with the identity read from the NVM.
  void attach(UsbIdentity identity);

  // Answers one standard request; anything it does not support stalls.
  usb::TransferResult handle(const usb::SetupPacket& setup, std::span<std::uint8_t> data);

  std::uint8_t configuration() const { return configuration_; }
  std::uint8_t address() const { return address_; }
  const UsbIdentity& identity() const { return identity_; }

 private:
  usb::TransferResult getDescriptor(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
  usb::TransferResult getStatus(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
  usb::TransferResult setEndpointHalt(const usb::SetupPacket& setup, bool halted);
  usb::TransferResult setConfiguration(const usb::SetupPacket& setup);
  bool isConfiguredEndpoint(std::uint16_t index) const;

  BulkEngine& bulk_;
  UsbIdentity identity_;
  std::uint8_t address_ = 0;
  std::uint8_t configuration_ = 0;
};

}  // namespace kqa::chip
