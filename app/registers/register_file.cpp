#include "app/registers/register_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "app/registers/hex_field.h"

namespace kqa::registers {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits off the next blank-separated token.
std::string_view NextToken(std::string_view& rest) {
  while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  std::size_t end = 0;
  while (end < rest.size() && !IsBlank(rest[end])) ++end;
  const std::string_view token = rest.substr(0, end);
  rest.remove_prefix(end);
  return token;
}

}  // namespace

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

bool ReadRegisterFile(const std::string& path, RegisterFile& file) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    RegisterPair pair{};
    switch (ParseRegisterLine(line, pair)) {
      case LineKind::Nothing:
        break;
      case LineKind::Pair:
        file.pairs.push_back(pair);
        break;
      case LineKind::Malformed:
        if (!line.empty() && line.back() == '\r') line.pop_back();
        file.malformed.push_back({number, line});
        break;
    }
  }
  return true;
}

}  // namespace kqa::registers
