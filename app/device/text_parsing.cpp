#include "app/device/text_parsing.h"

namespace kqa::device {

std::uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  return 255;
}

bool ParseHexNumber(std::string_view text, std::uint32_t& value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return false;
  std::uint64_t parsed = 0;
  for (char c : text) {
    const std::uint8_t digit = HexDigitValue(c);
    if (digit == 255) return false;
    parsed = parsed * 16 + digit;
    if (parsed > 0xFFFFFFFFu) return false;
  }
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

bool ParseDecimalNumber(std::string_view text, std::uint32_t& value) {
  if (text.empty()) return false;
  std::uint64_t parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + static_cast<std::uint64_t>(c - '0');
    if (parsed > 0xFFFFFFFFu) return false;
  }
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

bool HexToBytes(std::span<std::uint8_t> destination, std::string_view source) {
  if (source.size() < destination.size() * 2) return false;
  for (std::size_t i = 0; i < destination.size() * 2; ++i)
    if (HexDigitValue(source[i]) == 255) return false;
  for (std::size_t i = 0; i < destination.size(); ++i) {
    destination[i] = static_cast<std::uint8_t>((HexDigitValue(source[2 * i]) << 4) |
                                               HexDigitValue(source[2 * i + 1]));
  }
  return true;
}

void StripLine(std::string& text, char c) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  const std::size_t first = text.find_first_not_of(c);
  text.erase(0, first == std::string::npos ? text.size() : first);
}

}  // namespace kqa::device
