#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kqa::cli {

// 16 bytes a line: "%03X:" with the line's address, then " %02X" per byte.
std::string HexDump(std::uint32_t firstAddress, std::span<const std::uint8_t> bytes);
// The bytes as one run of hexadecimal digits ("0011AB").
std::string HexString(std::span<const std::uint8_t> bytes);
// "1 byte", "2 bytes": a count and its noun, in the singular for one.
std::string Counted(long long count, std::string_view noun);

}  // namespace kqa::cli
