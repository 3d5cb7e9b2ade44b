#include "app/txrx/field_reader.h"

#include <cctype>
#include <charconv>

#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "app/registers/hex_field.h"

namespace kqa::txrx {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::string Quoted(std::string_view field) {
  return "\"" + std::string(field) + "\"";
}

}  // namespace

void FieldReader::fail(std::string message) {
  if (problem_.empty()) problem_ = std::move(message);
}

std::vector<std::uint8_t> FieldReader::bytes(std::string_view field, std::string_view text,
                                             std::size_t count) {
  const std::string_view digits = Trim(text);
  for (const char c : digits)
    if (device::HexDigitValue(c) == 0xFF) {
      fail(device::Format("%s: \"%.*s\" holds '%c', which is not a hexadecimal digit.",
                          Quoted(field).c_str(), static_cast<int>(digits.size()), digits.data(), c));
      return std::vector<std::uint8_t>(count, 0);
    }
  if (count == 0) count = (digits.size() + 1) / 2;
  std::string padded(digits.substr(0, std::min(digits.size(), 2 * count)));
  padded.resize(2 * count, '0');
  std::vector<std::uint8_t> result(count);
  device::HexToBytes(result, padded);
  return result;
}

std::uint32_t FieldReader::hexNumber(std::string_view field, std::string_view text) {
  const auto value = registers::ParseHexField(text);
  if (!value) {
    fail(registers::HexFieldProblem(Quoted(field), text));
    return 0;
  }
  return *value;
}

long long FieldReader::decimal(std::string_view field, std::string_view text, long long min,
                               long long max) {
  const std::string_view digits = Trim(text);
  long long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    fail(device::Format("%s: \"%.*s\" is not a decimal number.", Quoted(field).c_str(),
                        static_cast<int>(digits.size()), digits.data()));
    return min;
  }
  if (value < min || value > max) {
    fail(device::Format("%s must be from %lld to %lld, not %lld.", Quoted(field).c_str(), min, max,
                        value));
    return min;
  }
  return value;
}

}  // namespace kqa::txrx
