#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::nvm {

// The USB string descriptors in the configuration memory: a table of 16
// entries at 0x2F0 (entry k = offset of string descriptor k from 0x300;
// 0 and 0xFF mean none), and the descriptors from 0x300 to 0x3FF, the
// language descriptor (04 03 09 04) first. A descriptor is its length byte
// (2 + 2 x characters), the type 3, then the characters in UTF-16LE.
inline constexpr std::uint16_t kStringTable = 0x2F0;
inline constexpr std::size_t kStringTableEntries = 16;
inline constexpr std::uint16_t kStringArea = 0x300;
inline constexpr std::size_t kStringAreaSize = 0x100;
// Both together, as one read: 0x2F0 to 0x3FF.
inline constexpr std::size_t kStringRegionSize = kStringTableEntries + kStringAreaSize;
using StringRegion = std::array<std::uint8_t, kStringRegionSize>;

// The first string goes after the language descriptor.
inline constexpr std::uint8_t kFirstStringOffset = 4;
inline constexpr std::size_t kMaxStrings = 10;
inline constexpr std::size_t kMaxStringCharacters = 62;

// Adding the k-th string writes k into index slot k (the string indices of
// the WLAN and flash functions' descriptors, and two spare bytes each).
inline constexpr std::array<std::uint16_t, kMaxStrings> kStringIndexSlots = {
    0x20E, 0x20F, 0x210, 0x222, 0x22D, 0x28E, 0x28F, 0x290, 0x2A2, 0x2AD};

struct StoredString {
  std::size_t index = 0;    // its table entry: the USB string index
  std::uint8_t offset = 0;  // from 0x300
  std::uint8_t length = 0;  // the descriptor's length byte
  std::string text;         // UTF-8

  bool operator==(const StoredString&) const = default;
};

// The strings the region holds, in table order. Entries that point at no
// string descriptor (another type, a length below 2, or a descriptor that
// would reach past 0x3FF) are left out.
std::vector<StoredString> ParseStrings(std::span<const std::uint8_t, kStringRegionSize> region);

// Where the next string goes: after the string that ends last, or 4.
std::size_t NextStringOffset(std::span<const StoredString> strings);

// UTF-8 text as UTF-16 code units; nullopt when it is not valid UTF-8.
std::optional<std::u16string> ToUtf16(std::string_view text);
// A string descriptor of `text` (at most 126 code units).
std::vector<std::uint8_t> EncodeStringDescriptor(const std::u16string& text);
// UTF-16LE bytes as UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string FromUtf16Le(std::span<const std::uint8_t> bytes);

// The default string area ("Default"): the table 00 04 12 2C then twelve
// 0xFF, the language descriptor, "Torvek", "802.11n WLAN", "1.0", 0xFF to
// the end.
StringRegion DefaultStringRegion();

}  // namespace kqa::nvm
