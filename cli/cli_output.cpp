#include "cli/cli_output.h"

#include <cstdio>

namespace kqa::cli {

std::string HexDump(std::uint32_t firstAddress, std::span<const std::uint8_t> bytes) {
  std::string text;
  char cell[16];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0) {
      if (i > 0) text += '\n';
      std::snprintf(cell, sizeof cell, "%03X:", static_cast<unsigned>(firstAddress + i));
      text += cell;
    }
    std::snprintf(cell, sizeof cell, " %02X", bytes[i]);
    text += cell;
  }
  if (!bytes.empty()) text += '\n';
  return text;
}

std::string HexString(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::string Counted(long long count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

}  // namespace kqa::cli
