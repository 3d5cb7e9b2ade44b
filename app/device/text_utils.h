#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kqa::device {

// 0..15 for '0'..'9', 'A'..'F', 'a'..'f'; 255 for anything else.
std::uint8_t HexDigitValue(char c);

// Converts 2 x destination.size() hexadecimal characters, high digit first,
// into bytes. Returns false, and leaves the destination untouched, when the
// source is too short or holds a character that is not a hexadecimal digit:
// a typo must never turn into a value sent to the chip.
bool HexToBytes(std::span<std::uint8_t> destination, std::string_view source);

// Removes one trailing line feed, then every leading `c` (register files are
// read line by line and may indent their fields with `c`).
void StripLine(std::string& text, char c);

}  // namespace kqa::device
