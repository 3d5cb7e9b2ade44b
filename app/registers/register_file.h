#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::registers {

// Register dumps and ".mac" register files: one register a line, the
// address and then the value, both hexadecimal. A dump is written as
// "0x%04X      0x%08X\n" and reads back as a register file.

struct RegisterPair {
  std::uint32_t address;
  std::uint32_t value;

  bool operator==(const RegisterPair&) const = default;
};

// One dump line, newline included.
std::string FormatDumpLine(std::uint32_t address, std::uint32_t value);

// Writes `words` as addresses base, base + 4, ... Returns false with the
// system's reason when the file cannot be created or written completely.
bool WriteRegisterDump(const std::string& path, std::uint32_t base,
                       std::span<const std::uint32_t> words, std::string& error);

// A register file line: blank lines and lines starting with ';' (after
// leading blanks) hold nothing; otherwise the address and the value, "0x"
// allowed on both, optionally followed by a ';' comment.
enum class LineKind { Nothing, Pair, Malformed };
LineKind ParseRegisterLine(std::string_view line, RegisterPair& pair);

struct MalformedLine {
  int number;        // 1-based
  std::string text;  // as read, without its line end
};

struct RegisterFile {
  std::vector<RegisterPair> pairs;         // in file order
  std::vector<MalformedLine> malformed;    // skipped
};

// Reads a whole register file. Returns false when it cannot be opened.
bool ReadRegisterFile(const std::string& path, RegisterFile& file);

}  // namespace kqa::registers
