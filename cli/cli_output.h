#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::cli {

// 16 bytes a line: "%03X:" with the line's address, then " %02X" per byte.
std::string HexDump(std::uint32_t firstAddress, std::span<const std::uint8_t> bytes);
// The bytes as one run of hexadecimal digits ("0011AB").
std::string HexString(std::span<const std::uint8_t> bytes);

// A JSON object built field by field, in order.
class JsonObject {
 public:
  JsonObject& number(std::string_view key, long long value);
  JsonObject& text(std::string_view key, std::string_view value);
  JsonObject& flag(std::string_view key, bool value);
  // `json` is already JSON (an object or an array).
  JsonObject& json(std::string_view key, std::string_view raw);
  std::string str() const { return "{" + body_ + "}"; }

 private:
  void key(std::string_view name);
  std::string body_;
};

std::string JsonQuote(std::string_view text);
// `items` are already JSON.
std::string JsonArray(const std::vector<std::string>& items);

}  // namespace kqa::cli
