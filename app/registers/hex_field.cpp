#include "app/registers/hex_field.h"

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
