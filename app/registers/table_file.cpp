#include "app/registers/table_file.h"

#include "app/device/text_file.h"
#include "app/device/text_format.h"
#include "app/registers/hex_field.h"

namespace kqa::registers {

std::string FormatTableLines(std::span<const std::uint8_t> table) {
  std::string text;
  text.reserve(table.size() * 5);
  for (std::uint8_t entry : table) text += device::Format("0x%02X\n", entry);
  return text;
}

std::string FileLineProblem(std::size_t number, std::string_view line, std::string_view expected) {
  return "Line " + std::to_string(number) + ": \"" + std::string(device::TrimBlanks(line)) +
         "\" is not " + std::string(expected) + ".";
}

bool ParseHexLines(const std::vector<std::string>& lines, std::vector<std::uint32_t>& values,
                   std::string& problem, std::uint32_t largest) {
  values.clear();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (device::TrimBlanks(lines[i]).empty()) continue;
    const auto value = ParseHexField(lines[i]);
    if (!value) {
      problem = FileLineProblem(i + 1, lines[i], "a hexadecimal number");
      return false;
    }
    if (*value > largest) {
      problem = FileLineProblem(i + 1, lines[i], device::Format("a value from 0 to 0x%X", largest));
      return false;
    }
    values.push_back(*value);
  }
  return true;
}

}  // namespace kqa::registers
