#include "chip/usb_descriptors.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"
#include "platform/usb/wire/usb_wire.h"

namespace kqa::chip {

bool IsBulkEndpoint(std::uint8_t address) {
  return std::find(kBulkInEndpoints.begin(), kBulkInEndpoints.end(), address) != kBulkInEndpoints.end() ||
         std::find(kBulkOutEndpoints.begin(), kBulkOutEndpoints.end(), address) != kBulkOutEndpoints.end();
}

std::vector<std::uint8_t> StringDescriptor(std::string_view ascii) {
  std::vector<std::uint8_t> descriptor{static_cast<std::uint8_t>(2 + 2 * ascii.size()), usb::kStringDescriptor};
  for (char c : ascii) {
    descriptor.push_back(static_cast<std::uint8_t>(c));
    descriptor.push_back(0);
  }
  return descriptor;
}

UsbIdentity RomIdentity() {
  UsbIdentity identity;
  identity.strings[0] = {4, usb::kStringDescriptor, 0x09, 0x04};  // English (United States)
  identity.strings[1] = StringDescriptor("Torvek");
  identity.strings[2] = StringDescriptor("802.11n WLAN");
  identity.strings[3] = StringDescriptor("1.0");
  return identity;
}

UsbIdentity IdentityFromEeprom(std::span<const std::uint8_t> eeprom) {
  if (eeprom.size() < kEepromStringsEnd) return RomIdentity();
  const std::uint16_t vendor = GetLe16(eeprom, kEepromUsbIdentity);
  if (vendor == 0x0000 || vendor == 0xFFFF) return RomIdentity();

  UsbIdentity identity;
  identity.vendorId = vendor;
  identity.productId = GetLe16(eeprom, kEepromUsbIdentity + 2);
  identity.release = GetLe16(eeprom, kEepromUsbIdentity + 4);
  identity.manufacturerIndex = eeprom[kEepromUsbIdentity + 6];
  identity.productIndex = eeprom[kEepromUsbIdentity + 7];
  identity.serialIndex = eeprom[kEepromUsbIdentity + 8];
  // Table entry k is the offset of string descriptor k from 0x300; 0xFF, and 0
  // for any k but the language list, mean no entry.
  for (std::size_t k = 0; k < identity.strings.size(); ++k) {
    const std::uint8_t entry = eeprom[kEepromStringTable + k];
    if (entry == 0xFF || (entry == 0 && k != 0)) continue;
    const std::size_t at = kEepromStrings + entry;
    const std::size_t length = eeprom[at];
    if (length < 2 || at + length > kEepromStringsEnd || eeprom[at + 1] != usb::kStringDescriptor) continue;
    identity.strings[k].assign(eeprom.begin() + static_cast<std::ptrdiff_t>(at),
                               eeprom.begin() + static_cast<std::ptrdiff_t>(at + length));
  }
  return identity;
}

std::vector<std::uint8_t> DeviceDescriptor(const UsbIdentity& identity) {
  std::vector<std::uint8_t> d(18);
  d[0] = 18;
  d[1] = usb::kDeviceDescriptor;
  PutLe16(d, 2, 0x0200);  // USB 2.0
  d[4] = 0;               // class per interface
  d[5] = 0;
  d[6] = 0;
  d[7] = 64;  // bMaxPacketSize0
  PutLe16(d, 8, identity.vendorId);
  PutLe16(d, 10, identity.productId);
  PutLe16(d, 12, identity.release);
  d[14] = identity.manufacturerIndex;
  d[15] = identity.productIndex;
  d[16] = identity.serialIndex;
  d[17] = 1;  // bNumConfigurations
  return d;
}

std::vector<std::uint8_t> ConfigurationDescriptor() {
  constexpr std::size_t kEndpoints = kBulkInEndpoints.size() + kBulkOutEndpoints.size();
  constexpr std::size_t kTotal = 9 + 9 + 7 * kEndpoints;
  std::vector<std::uint8_t> d{9, usb::kConfigurationDescriptor, 0, 0,
                              1,                     // bNumInterfaces
                              kConfigurationValue,   // bConfigurationValue
                              0,                     // iConfiguration
                              0x80,                  // bus powered, no remote wake-up
                              250};                  // 500 mA
  PutLe16(d, 2, static_cast<std::uint16_t>(kTotal));
  const std::uint8_t interface[] = {9, usb::kInterfaceDescriptor, 0, 0, static_cast<std::uint8_t>(kEndpoints),
                                    0xFF, 0xFF, 0xFF, 0};  // vendor-specific
  d.insert(d.end(), std::begin(interface), std::end(interface));
  auto addEndpoint = [&d](std::uint8_t address) {
    d.insert(d.end(), {7, usb::kEndpointDescriptor, address, usb::kTransferBulk,
                       static_cast<std::uint8_t>(kBulkMaxPacket & 0xFF), static_cast<std::uint8_t>(kBulkMaxPacket >> 8),
                       0});
  };
  for (std::uint8_t address : kBulkInEndpoints) addEndpoint(address);
  for (std::uint8_t address : kBulkOutEndpoints) addEndpoint(address);
  return d;
}

}  // namespace kqa::chip
