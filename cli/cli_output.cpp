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

std::string JsonQuote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\t': quoted += "\\t"; break;
      case '\r': quoted += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
          quoted += escaped;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

std::string JsonArray(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? "," : "") + items[i];
  return text + "]";
}

void JsonObject::key(std::string_view name) {
  if (!body_.empty()) body_ += ',';
  body_ += JsonQuote(name) + ":";
}

JsonObject& JsonObject::number(std::string_view name, long long value) {
  key(name);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::text(std::string_view name, std::string_view value) {
  key(name);
  body_ += JsonQuote(value);
  return *this;
}

JsonObject& JsonObject::flag(std::string_view name, bool value) {
  key(name);
  body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::json(std::string_view name, std::string_view raw) {
  key(name);
  body_ += raw;
  return *this;
}

}  // namespace kqa::cli
