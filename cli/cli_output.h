#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kqa::cli {

// 16 bytes a line: "%03X:" with the line's address, then " %02X" per byte.
std::string HexDump(std::uint32_t firstAddress, std::span<const std::uint8_t> bytes);
// The bytes as one run of hexadecimal digits ("0011AB").
std::string HexString(std::span<const std::uint8_t> bytes);

}  // namespace kqa::cli
