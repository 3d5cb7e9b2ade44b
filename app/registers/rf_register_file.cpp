#include "app/registers/rf_register_file.h"

#include "app/device/text_format.h"
#include "app/registers/hex_field.h"

namespace kqa::registers {
std::string FormatRfRegisterLine(const RfRegisterValue& entry) {
  return device::Format("%d %03d %02X\n", entry.bank, entry.reg, entry.value);
}

LineKind ParseRfRegisterLine(std::string_view line, RfRegisterValue& entry) {
  std::string_view rest = line;
  const std::string_view bankText = NextToken(rest);
  if (bankText.empty() || bankText.front() == ';') return LineKind::Nothing;
  const std::string_view regText = NextToken(rest);
  const std::string_view valueText = NextToken(rest);
  const std::string_view trailing = NextToken(rest);
  if (!trailing.empty() && trailing.front() != ';') return LineKind::Malformed;
  const auto bank = ParseDecimalField(bankText);
  const auto reg = ParseDecimalField(regText);
  const auto value = ParseByteField(valueText);
  if (!bank || *bank >= kRfBankCount || !reg || *reg >= kRfRegistersPerBank || !value)
    return LineKind::Malformed;
  entry = {static_cast<std::uint8_t>(*bank), static_cast<std::uint8_t>(*reg), *value};
  return LineKind::Pair;
}

bool ReadRfRegisterFile(const std::string& path, RfRegisterFile& file, std::string& error) {
  return ReadEntryLines(path, ParseRfRegisterLine, file.entries, file.malformed, error);
}

}  // namespace kqa::registers
