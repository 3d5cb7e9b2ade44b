#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/text_file.h"

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

// Splits the next blank-separated token off `rest` (empty at the end).
std::string_view NextToken(std::string_view& rest);

// A register file line: blank lines and lines starting with ';' (after
// leading blanks) hold nothing; otherwise the address and the value, "0x"
// allowed on both, optionally followed by a ';' comment.
enum class LineKind { Nothing, Pair, Malformed };
LineKind ParseRegisterLine(std::string_view line, RegisterPair& pair);

struct MalformedLine {
  int number;        // 1-based
  std::string text;  // as read, without its line end
};

// What a load tells about the lines it skipped: "\nSkipped 2 line(s) that
// are not <what>:" and the first ten of them ("\n  line 3: ..."); empty
// when none were skipped.
std::string SkippedLinesText(const std::vector<MalformedLine>& malformed, std::string_view what);

// What a page's register-file load ("Load Bbp Regs", "Load Rf Regs") tells
// when not every line went in: where it stopped (`stoppedAt`, e.g. "R5",
// empty when it did not stop), that the file held no registers, or which
// lines it skipped (`lineForm` says what a line should be). Empty when the
// whole file was written.
struct LoadReport {
  std::string action;      // "Load Bbp Regs"
  std::string path;
  std::size_t entries = 0;  // registers the file held
  std::size_t written = 0;
  std::string stoppedAt;
  std::vector<MalformedLine> skipped;
  std::string lineForm;  // "\"register = value\""
};
std::string LoadProblems(const LoadReport& report);

// Reads a file of one entry a line with `parse` (a ParseRegisterLine-like
// function): the entries in file order, the malformed lines skipped and
// kept. False, with the system's reason, when it cannot be opened.
template <class Entry, class Parse>
bool ReadEntryLines(const std::string& path, Parse parse, std::vector<Entry>& entries,
                    std::vector<MalformedLine>& malformed, std::string& error) {
  std::vector<std::string> lines;
  if (!device::ReadTextLines(path, lines, error)) return false;
  entries.clear();
  malformed.clear();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Entry entry{};
    switch (parse(lines[i], entry)) {
      case LineKind::Nothing:
        break;
      case LineKind::Pair:
        entries.push_back(entry);
        break;
      case LineKind::Malformed:
        malformed.push_back({static_cast<int>(i + 1), lines[i]});
        break;
    }
  }
  return true;
}

struct RegisterFile {
  std::vector<RegisterPair> pairs;         // in file order
  std::vector<MalformedLine> malformed;    // skipped
};

// Reads a whole register file. Returns false when it cannot be opened.
bool ReadRegisterFile(const std::string& path, RegisterFile& file);

}  // namespace kqa::registers
