#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kqa::chip {

// The chip's USB identity. Its ROM presents the test identifiers 0x1209:0x0001
// (pid.codes' "Test PID", reserved for testing and never shipped); a board
// whose EEPROM holds a USB identity (the bytes at 0x208 and the string
// area at 0x2F0) presents that one instead, read at power-up.
inline constexpr std::uint16_t kTestVendorId = 0x1209;
inline constexpr std::uint16_t kTestProductId = 0x0001;
inline constexpr std::uint16_t kDeviceRelease = 0x0100;

// The bulk endpoints of interface 0, in the order the configuration lists
// them: the two IN endpoints, then the six OUT endpoints.
inline constexpr std::array<std::uint8_t, 2> kBulkInEndpoints{0x81, 0x82};
inline constexpr std::array<std::uint8_t, 6> kBulkOutEndpoints{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
inline constexpr std::uint16_t kBulkMaxPacket = 512;
inline constexpr std::uint8_t kConfigurationValue = 1;

bool IsBulkEndpoint(std::uint8_t address);

struct UsbIdentity {
  std::uint16_t vendorId = kTestVendorId;
  std::uint16_t productId = kTestProductId;
  std::uint16_t release = kDeviceRelease;
  std::uint8_t manufacturerIndex = 1;
  std::uint8_t productIndex = 2;
  std::uint8_t serialIndex = 0;
  // String descriptor k, whole (length, type 3, UTF-16LE); descriptor 0 lists
  // the languages. Empty: the device has no such string and stalls for it.
  std::array<std::vector<std::uint8_t>, 16> strings;
};

// EEPROM offsets of the USB identity and the string area.
inline constexpr std::size_t kEepromUsbIdentity = 0x208;
inline constexpr std::size_t kEepromStringTable = 0x2F0;
inline constexpr std::size_t kEepromStrings = 0x300;
inline constexpr std::size_t kEepromStringsEnd = 0x400;

UsbIdentity RomIdentity();
// The identity an EEPROM presents; the ROM's when its vendor id is blank
// (0x0000 or 0xFFFF) or the EEPROM is too small to hold it.
UsbIdentity IdentityFromEeprom(std::span<const std::uint8_t> eeprom);

std::vector<std::uint8_t> StringDescriptor(std::string_view ascii);
std::vector<std::uint8_t> DeviceDescriptor(const UsbIdentity& identity);
std::vector<std::uint8_t> ConfigurationDescriptor();

}  // namespace kqa::chip
