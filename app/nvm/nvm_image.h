#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kqa::nvm {

// The ".bin" configuration images of the EEPROM page: bytes in address
// order, no header. A load takes the first 512 bytes (the configuration);
// a save writes the 1024 bytes the page reads (768 in the eFuse's physical
// view); the RAW image is the external EEPROM's first 8 KB.
inline constexpr std::size_t kImageLoadSize = 512;
inline constexpr std::size_t kPhysicalSaveSize = 768;
inline constexpr std::size_t kRawImageSize = 8192;

// The MAC address: 6 bytes from offset 4, shown as 12 hex digits.
inline constexpr std::uint16_t kMacOffset = 0x04;
using MacAddress = std::array<std::uint8_t, 6>;

// Exactly 12 hexadecimal digits (blanks around them are ignored); nullopt
// for anything else, so that a short or mistyped address is never written.
std::optional<MacAddress> ParseMacText(std::string_view text);
std::string FormatMac(const MacAddress& mac);  // "%02X%02X%02X%02X%02X%02X"

// "Keep Current TxPower": the bytes a load keeps from the memory instead of
// taking them from the file. The MAC address (0x04-0x09), the frequency
// offset (0x3A) and the TX power tables of both paths (0x52-0x6D,
// 0x78-0x9B, 0xA6-0xC9), in whole words, whichever back end loads.
struct ByteRange {
  std::uint16_t first;
  std::uint16_t last;
};
std::span<const ByteRange> KeptByTxPower();
// Copies the kept bytes from `current` into `target` (both at least 512).
void KeepCurrentTxPower(std::span<std::uint8_t> target, std::span<const std::uint8_t> current);

}  // namespace kqa::nvm
