#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/registers/register_file.h"

namespace kqa::registers {

// The BBP register-set file of "Save Bbp Regs" / "Load Bbp Regs": one
// register a line, "%03d = %02X\n" (decimal register, hexadecimal value):
// R0-R255 in order, then the first 49 entries of the table behind R195/R196
// as pairs "195 = <index>" and "196 = <entry>". Reloaded line by line in
// file order, each pair writes the index and then the entry.
inline constexpr int kBbpRegisterCount = 256;
inline constexpr int kBbpSetTablePairs = 49;
inline constexpr std::uint8_t kBbpFilterIndex = 195;
inline constexpr std::uint8_t kBbpFilterData = 196;

struct BbpWrite {
  std::uint8_t reg;
  std::uint8_t value;

  bool operator==(const BbpWrite&) const = default;
};

// The whole file: `registers` R0-R255, `tableEntries` the 49 entries.
std::string FormatBbpRegisterSet(std::span<const std::uint8_t, kBbpRegisterCount> registers,
                                 std::span<const std::uint8_t, kBbpSetTablePairs> tableEntries);

// A line: blank lines and lines starting with ';' (after leading blanks) hold
// nothing; otherwise a decimal register 0-255, "=", and a value of one or two
// hexadecimal digits ("0x" allowed), optionally followed by a ';' comment.
LineKind ParseBbpSetLine(std::string_view line, BbpWrite& write);

struct BbpSetFile {
  std::vector<BbpWrite> writes;          // in file order
  std::vector<MalformedLine> malformed;  // skipped
};

// Reads a whole register-set file. False, with the system's reason, when it
// cannot be opened.
bool ReadBbpSetFile(const std::string& path, BbpSetFile& file, std::string& error);

}  // namespace kqa::registers
