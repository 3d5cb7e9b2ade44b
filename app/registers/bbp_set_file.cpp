#include "app/registers/bbp_set_file.h"

#include "app/device/text_format.h"
#include "app/registers/hex_field.h"

namespace kqa::registers {

std::string FormatBbpRegisterSet(std::span<const std::uint8_t, kBbpRegisterCount> registers,
                                 std::span<const std::uint8_t, kBbpSetTablePairs> tableEntries) {
  std::string text;
  for (int reg = 0; reg < kBbpRegisterCount; ++reg)
    text += device::Format("%03d = %02X\n", reg, registers[static_cast<std::size_t>(reg)]);
  for (int index = 0; index < kBbpSetTablePairs; ++index) {
    text += device::Format("%03d = %02X\n", kBbpFilterIndex, index);
    text += device::Format("%03d = %02X\n", kBbpFilterData,
                           tableEntries[static_cast<std::size_t>(index)]);
  }
  return text;
}

LineKind ParseBbpSetLine(std::string_view line, BbpWrite& write) {
  const std::string_view text = device::TrimBlanks(line);
  if (text.empty() || text.front() == ';') return LineKind::Nothing;
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return LineKind::Malformed;
  std::string_view valueText = text.substr(equals + 1);
  if (const std::size_t comment = valueText.find(';'); comment != std::string_view::npos)
    valueText = valueText.substr(0, comment);
  const auto reg = ParseDecimalField(text.substr(0, equals));
  const auto value = ParseByteField(valueText);
  if (!reg || *reg >= kBbpRegisterCount || !value) return LineKind::Malformed;
  write = {static_cast<std::uint8_t>(*reg), *value};
  return LineKind::Pair;
}

bool ReadBbpSetFile(const std::string& path, BbpSetFile& file, std::string& error) {
  return ReadEntryLines(path, ParseBbpSetLine, file.writes, file.malformed, error);
}

}  // namespace kqa::registers
