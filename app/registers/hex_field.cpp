#include "app/registers/hex_field.h"

namespace kqa::registers {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::uint32_t> ParseHexField(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::string HexFieldProblem(std::string_view fieldName, std::string_view text) {
  std::string message(fieldName);
  if (Trim(text).empty())
    message += " is empty.";
  else
    message += ": \"" + std::string(Trim(text)) + "\" is not a hexadecimal number.";
  message += "\nEnter up to 8 hexadecimal digits (0-9, A-F), for example 1004.";
  return message;
}

}  // namespace kqa::registers
