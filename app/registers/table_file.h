#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::registers {

// Table files: one value a line. The BBP page's tables and the PA/PD page's
// correction tables are written "0x%02X\n", entry i on line i.
std::string FormatTableLines(std::span<const std::uint8_t> table);

// Reads one hexadecimal value a line ("0x" allowed, blank lines skipped). A
// line that is not hexadecimal, or holds a value above `largest`, refuses
// the whole file: false, with `problem` naming the line, and nothing for the
// chip.
bool ParseHexLines(const std::vector<std::string>& lines, std::vector<std::uint32_t>& values,
                   std::string& problem, std::uint32_t largest = 0xFFFFFFFF);

// "Line 3: "12G4" is not a hexadecimal number." (`number` counts from 1).
std::string FileLineProblem(std::size_t number, std::string_view line, std::string_view expected);

}  // namespace kqa::registers
