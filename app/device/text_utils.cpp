#include "app/device/text_utils.h"

namespace kqa::device {

std::uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  return 255;
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
