#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/nvm/nvm_access.h"
#include "app/nvm/string_descriptors.h"
#include "app/shell/page/outcome.h"

namespace kqa::nvm {

// The identity of one USB function as the page edits it: 10 bytes laid out
// like the identifiers of a device descriptor (idVendor, idProduct,
// bcdDevice, iManufacturer, iProduct, iSerialNumber, bNumConfigurations).
// The WLAN function's are at 0x208, the flash function's at 0x288.
struct UsbFunctionFields {
  std::string vendorText;   // "VID", hexadecimal
  std::string productText;  // "PID"
  std::string releaseText;  // "Release Number"
  // The string-index combos; none leaves the byte as the memory holds it.
  std::optional<int> manufacturer;
  std::optional<int> product;
  std::optional<int> serial;
};

inline constexpr std::uint16_t kWlanIdentity = 0x208;
inline constexpr std::uint16_t kFlashIdentity = 0x288;
inline constexpr std::uint16_t kSerialIndex = 0x210;
// The flash function's three texts: 8-bit characters, zero-filled, not
// terminated when they fill their field.
inline constexpr std::uint16_t kVendorText = 0x260;    // 8 bytes, "Vendor Information"
inline constexpr std::uint16_t kProductText = 0x268;   // 16 bytes, "Pruduct Name"
inline constexpr std::uint16_t kRevisionText = 0x278;  // 4 bytes, "Pruduct Revision"

// Everything the EEPROM2 page does, without the widgets: the USB identity of
// the WLAN and flash functions, the flash function's texts, the string
// descriptor table (add, replace, clear, default) and the serial-number
// switch. Works on the EEPROM and on an image of 1024 bytes; the eFuse holds
// only the first 512 bytes of the configuration, so there every action is
// refused with a message saying so, and nothing is written elsewhere.
class UsbIdentityTool {
 public:
  using Outcome = page::Outcome;

  explicit UsbIdentityTool(device::ConfigMemory memory);

  UsbFunctionFields wlan;
  UsbFunctionFields flash;
  std::string vendorInformation;
  std::string productName;
  std::string productRevision;
  // "WLAN" (false) or "WLAN + FLASH" (true): Edit writes the flash
  // function's fields too.
  bool withFlash = false;
  // The string edit.
  std::string stringText;

  // Why this memory cannot hold the page's fields; empty when it can.
  std::string unreachableReason();

  // The page becoming active: the strings, both identities, the texts and
  // the serial-number switch, as the memory holds them.
  Outcome activate();
  Outcome readStrings();
  Outcome readIdentity();

  const std::vector<StoredString>& strings() const { return strings_; }
  // Bytes left for strings after the last one.
  std::size_t freeStringSpace() const;

  // "Edit": the identity fields (and with withFlash the flash function's
  // fields and texts); a field that is not hexadecimal, a value above
  // FFFF or a text too long for its field is refused before anything is
  // written.
  Outcome editIdentity();
  // "Add / Edit": a new string from stringText, or (with a row chosen) the
  // string at `row` of strings() replaced by it.
  Outcome addString();
  Outcome replaceString(std::size_t row);
  Outcome clearStrings();   // "Clear All"
  Outcome defaultStrings(); // "Default"

  // The serial number: announced when the index byte at 0x210 is not 0.
  bool serialNumberEnabled() const { return serialEnabled_; }
  Outcome setSerialNumber(bool enabled);
  Outcome toggleSerialNumber() { return setSerialNumber(!serialEnabled_); }

 private:
  Outcome refuse(const std::string& message);
  bool reachable();
  Outcome write(std::uint16_t offset, std::span<const std::uint8_t> data);
  Outcome readFunction(std::uint16_t at, UsbFunctionFields& fields);
  Outcome writeFunction(std::uint16_t at, const UsbFunctionFields& fields);
  // A text zero-filled to `size` bytes.
  Outcome writeText(std::uint16_t at, std::size_t size, const std::string& text);
  // The new string's descriptor, or Refused with the reason shown.
  Outcome encode(std::u16string& units);

  device::DeviceContext& device_;
  NvmAccess access_;
  std::vector<StoredString> strings_;
  bool serialEnabled_ = false;
};

}  // namespace kqa::nvm
