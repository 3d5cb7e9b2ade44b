#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kqa::device {

// Reading what the user typed or a file holds: hexadecimal digits, numbers
// and byte strings, and register-file lines. Every hexadecimal word in the
// program is read here (writing text is text_format.h's job).

// 0..15 for '0'..'9', 'A'..'F', 'a'..'f'; 255 for anything else.
std::uint8_t HexDigitValue(char c);

// A hexadecimal number: an optional "0x" or "0X", then at least one digit,
// the value fitting in 32 bits. False, with `value` untouched, for anything
// else (a sign, a blank, a typo such as "12G4"), so that a typo never
// reaches the chip as some other number.
bool ParseHexNumber(std::string_view text, std::uint32_t& value);

// A decimal number: at least one digit and nothing else (no sign, no
// blank), the value fitting in 32 bits. False, with `value` untouched, for
// anything else.
bool ParseDecimalNumber(std::string_view text, std::uint32_t& value);

// Converts 2 x destination.size() hexadecimal characters, high digit first,
// into bytes. Returns false, and leaves the destination untouched, when the
// source is too short or holds a character that is not a hexadecimal digit.
bool HexToBytes(std::span<std::uint8_t> destination, std::string_view source);

// Removes one trailing line feed, then every leading `c` (register files are
// read line by line and may indent their fields with `c`).
void StripLine(std::string& text, char c);

}  // namespace kqa::device
