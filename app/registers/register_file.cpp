#include "app/registers/register_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/device/text_format.h"
#include "app/registers/hex_field.h"

namespace kqa::registers {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view NextToken(std::string_view& rest) {
  while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  std::size_t end = 0;
  while (end < rest.size() && !IsBlank(rest[end])) ++end;
  const std::string_view token = rest.substr(0, end);
  rest.remove_prefix(end);
  return token;
}

std::string FormatDumpLine(std::uint32_t address, std::uint32_t value) {
  char line[40];
  std::snprintf(line, sizeof line, "0x%04X      0x%08X\n", address, value);
  return line;
}

bool WriteRegisterDump(const std::string& path, std::uint32_t base,
                       std::span<const std::uint32_t> words, std::string& error) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "w+"),
                                                              &std::fclose);
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string line = FormatDumpLine(base + static_cast<std::uint32_t>(4 * i), words[i]);
    if (std::fputs(line.c_str(), file.get()) < 0) {
      error = std::strerror(errno);
      return false;
    }
  }
  if (std::fflush(file.get()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

LineKind ParseRegisterLine(std::string_view line, RegisterPair& pair) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  std::string_view rest = line;
  const std::string_view addressText = NextToken(rest);
  if (addressText.empty() || addressText.front() == ';') return LineKind::Nothing;
  const std::string_view valueText = NextToken(rest);
  const std::string_view trailing = NextToken(rest);
  if (!trailing.empty() && trailing.front() != ';') return LineKind::Malformed;
  const auto address = ParseHexField(addressText);
  const auto value = ParseHexField(valueText);
  if (!address || !value) return LineKind::Malformed;
  pair = {*address, *value};
  return LineKind::Pair;
}

std::string SkippedLinesText(const std::vector<MalformedLine>& malformed, std::string_view what) {
  constexpr std::size_t kListed = 10;
  if (malformed.empty()) return {};
  std::string text = device::Format("\nSkipped %zu line(s) that are not ", malformed.size()) +
                     std::string(what) + ":";
  for (std::size_t i = 0; i < malformed.size() && i < kListed; ++i)
    text += device::Format("\n  line %d: ", malformed[i].number) + malformed[i].text.substr(0, 60);
  if (malformed.size() > kListed)
    text += device::Format("\n  ... and %zu more", malformed.size() - kListed);
  return text;
}

std::string LoadProblems(const LoadReport& report) {
  std::string text;
  if (!report.stoppedAt.empty())
    text = report.action + " stopped at " + report.stoppedAt +
           device::Format(": its write failed, the %zu register(s) after it were not written.",
                          report.entries - report.written - 1);
  else if (report.entries == 0)
    text = "No registers found in " + report.path + "; nothing was written.";
  else if (!report.skipped.empty())
    text = device::Format("Wrote %zu register(s) from ", report.written) + report.path + ".";
  return text + SkippedLinesText(report.skipped, report.lineForm);
}

bool ReadRegisterFile(const std::string& path, RegisterFile& file) {
  std::string error;
  return ReadEntryLines(path, ParseRegisterLine, file.pairs, file.malformed, error);
}

}  // namespace kqa::registers
