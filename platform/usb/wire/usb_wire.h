#pragma once

#include <cstddef>
#include <cstdint>

namespace kqa::usb {

// USB 2.0 wire-level definitions shared by the USB stack, its back ends and
// the emulated chip (which is a USB device and knows nothing else).

struct SetupPacket {
  std::uint8_t bmRequestType = 0;
  std::uint8_t bRequest = 0;
  std::uint16_t wValue = 0;
  std::uint16_t wIndex = 0;
  std::uint16_t wLength = 0;

  bool isDeviceToHost() const { return (bmRequestType & 0x80) != 0; }
  bool operator==(const SetupPacket&) const = default;
};

// bmRequestType values used in this project.
inline constexpr std::uint8_t kVendorIn = 0xC0;   // device-to-host, vendor, device
inline constexpr std::uint8_t kVendorOut = 0x40;  // host-to-device, vendor, device
inline constexpr std::uint8_t kStandardInDevice = 0x80;
inline constexpr std::uint8_t kStandardInInterface = 0x81;
inline constexpr std::uint8_t kStandardInEndpoint = 0x82;
inline constexpr std::uint8_t kStandardOutDevice = 0x00;

// Standard requests.
inline constexpr std::uint8_t kGetStatus = 0x00;
inline constexpr std::uint8_t kClearFeature = 0x01;
inline constexpr std::uint8_t kSetFeature = 0x03;
inline constexpr std::uint8_t kSetAddress = 0x05;
inline constexpr std::uint8_t kGetDescriptor = 0x06;
inline constexpr std::uint8_t kGetConfiguration = 0x08;
inline constexpr std::uint8_t kSetConfiguration = 0x09;
inline constexpr std::uint8_t kGetInterface = 0x0A;
inline constexpr std::uint8_t kSetInterface = 0x0B;

// Descriptor types.
inline constexpr std::uint8_t kDeviceDescriptor = 0x01;
inline constexpr std::uint8_t kConfigurationDescriptor = 0x02;
inline constexpr std::uint8_t kStringDescriptor = 0x03;
inline constexpr std::uint8_t kInterfaceDescriptor = 0x04;
inline constexpr std::uint8_t kEndpointDescriptor = 0x05;

// Endpoint attributes (bmAttributes & 3) and direction (bEndpointAddress & 0x80).
inline constexpr std::uint8_t kTransferControl = 0;
inline constexpr std::uint8_t kTransferIsochronous = 1;
inline constexpr std::uint8_t kTransferBulk = 2;
inline constexpr std::uint8_t kTransferInterrupt = 3;
inline constexpr std::uint8_t kEndpointIn = 0x80;

// How a transfer ended.
enum class TransferStatus {
  Completed,  // done; `length` bytes moved (an IN transfer may be short)
  Stall,      // the device answered with a STALL handshake
  Timeout,    // the device did not answer in time
  Cancelled,  // cancelled by the host before it completed
  NoDevice,   // the device is gone (unplugged)
  Overflow,   // the device sent more than the buffer holds
  Error,      // any other bus error
};

const char* TransferStatusName(TransferStatus status);

struct TransferResult {
  TransferStatus status = TransferStatus::Completed;
  std::size_t length = 0;  // bytes moved in the data stage

  bool ok() const { return status == TransferStatus::Completed; }
};

}  // namespace kqa::usb
