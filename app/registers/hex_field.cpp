#include "app/registers/hex_field.h"

#include <charconv>

#include "app/device/text_parsing.h"

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
  std::uint32_t value = 0;
  if (!device::ParseHexNumber(Trim(text), value)) return std::nullopt;
  return value;
}

std::optional<std::uint8_t> ParseByteField(std::string_view text) {
  text = Trim(text);
  const std::string_view digits =
      text.starts_with("0x") || text.starts_with("0X") ? text.substr(2) : text;
  const auto value = ParseHexField(text);
  if (!value || digits.size() > 2) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

std::optional<std::uint32_t> ParseDecimalField(std::string_view text) {
  text = Trim(text);
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string DecimalFieldProblem(std::string_view fieldName, std::string_view text) {
  std::string message(fieldName);
  if (Trim(text).empty())
    message += " is empty.";
  else
    message += ": \"" + std::string(Trim(text)) + "\" is not a decimal number.";
  message += "\nEnter the register number in decimal digits (0-9), for example 66.";
  return message;
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
