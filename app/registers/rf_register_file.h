#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/registers/register_file.h"

namespace kqa::registers {

// The RF register file of "Save Rf Regs" / "Load Rf Regs": one register a
// line, "%d %03d %02X\n" (bank and register decimal, value hexadecimal). The
// page saves banks 0, 4 and 5, registers 0-63 of each, in that order.
inline constexpr int kRfBankCount = 16;
inline constexpr int kRfRegistersPerBank = 64;
inline constexpr std::array<int, 3> kRfSavedBanks = {0, 4, 5};

struct RfRegisterValue {
  std::uint8_t bank;
  std::uint8_t reg;
  std::uint8_t value;

  bool operator==(const RfRegisterValue&) const = default;
};

std::string FormatRfRegisterLine(const RfRegisterValue& entry);

// A line: blank lines and lines starting with ';' hold nothing; otherwise a
// decimal bank 0-15, a decimal register 0-63 and a value of one or two
// hexadecimal digits ("0x" allowed), optionally followed by a ';' comment.
LineKind ParseRfRegisterLine(std::string_view line, RfRegisterValue& entry);

struct RfRegisterFile {
  std::vector<RfRegisterValue> entries;  // in file order
  std::vector<MalformedLine> malformed;  // skipped
};

// Reads a whole RF register file. False, with the system's reason, when it
// cannot be opened.
bool ReadRfRegisterFile(const std::string& path, RfRegisterFile& file, std::string& error);

}  // namespace kqa::registers
