#include "app/registers/script/script_fields.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "app/device/text_parsing.h"

namespace kqa {
namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Decimal: an optional sign and digits, within int range.
bool ParseDecimal(std::string_view word, int& out) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return false;
  out = value;
  return true;
}

std::string Rejected(std::string_view word, const char* what) {
  return "\"" + std::string(word) + "\" is not a valid " + what + " number";
}

}  // namespace

ScriptLine SplitScriptLine(std::string_view text) {
  ScriptLine line;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsSpace(text[i])) ++i;
    if (i > start) line.tokens.push_back(text.substr(start, i - start));
  }
  return line;
}

bool SameKeyword(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(word[i])) != std::toupper(static_cast<unsigned char>(keyword[i])))
      return false;
  return true;
}

std::string_view FieldName(FieldSlot slot) {
  switch (slot) {
    case FieldSlot::Skip: return "keyword";
    case FieldSlot::Rw: return "read/write field";
    case FieldSlot::Address: return "address";
    case FieldSlot::Register: return "register";
    case FieldSlot::Bank: return "bank";
    case FieldSlot::Value: return "value";
  }
  return "field";
}

std::optional<std::string> ParseFields(const ScriptLine& line, const std::vector<FieldSlot>& slots,
                                       ScriptFields& fields) {
  ScriptFields parsed = fields;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const auto index = static_cast<std::size_t>(slots[i]);
    if (i >= line.tokens.size()) {
      if (slots[i] != FieldSlot::Skip && !parsed.given[index])
        return "the " + std::string(FieldName(slots[i])) + " is missing";
      continue;
    }
    parsed.given[index] = true;
    const std::string_view word = line.tokens[i];
    switch (slots[i]) {
      case FieldSlot::Skip: break;
      case FieldSlot::Rw:
        if (!ParseDecimal(word, parsed.rw)) return Rejected(word, "decimal");
        break;
      case FieldSlot::Register:
        if (!ParseDecimal(word, parsed.reg)) return Rejected(word, "decimal");
        break;
      case FieldSlot::Bank:
        if (!ParseDecimal(word, parsed.bank)) return Rejected(word, "decimal");
        break;
      case FieldSlot::Address:
        if (!device::ParseHexNumber(word, parsed.address)) return Rejected(word, "hexadecimal");
        break;
      case FieldSlot::Value:
        if (!device::ParseHexNumber(word, parsed.value)) return Rejected(word, "hexadecimal");
        break;
    }
  }
  fields = parsed;
  return std::nullopt;
}

}  // namespace kqa
