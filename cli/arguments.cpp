#include "cli/arguments.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "app/device/register_limits.h"
#include "app/device/text_parsing.h"

namespace kqa::cli {
namespace {

bool ParseDecimal(std::string_view word, std::uint32_t& value) {
  std::uint32_t parsed = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), parsed);
  if (word.empty() || error != std::errc() || end != word.data() + word.size()) return false;
  value = parsed;
  return true;
}

std::string Quoted(const std::string& word) { return "\"" + word + "\""; }

}  // namespace

CLI::Validator HexNumber(std::uint32_t max, const std::string& range) {
  return CLI::Validator(
      [max, range](std::string& word) -> std::string {
        std::uint32_t value = 0;
        if (!device::ParseHexNumber(word, value))
          return "must be hexadecimal (\"0x\" allowed), not " + Quoted(word);
        if (value > max) return "must be " + range + ", not " + Quoted(word);
        word = std::to_string(value);
        return {};
      },
      "");
}

CLI::Validator DecimalNumber(std::uint32_t max, std::uint32_t min) {
  return CLI::Validator(
      [max, min](std::string& word) -> std::string {
        std::uint32_t value = 0;
        if (!ParseDecimal(word, value)) return "must be a decimal number, not " + Quoted(word);
        if (const auto problem = device::OutsideRange(value, min, max)) return *problem;
        word = std::to_string(value);
        return {};
      },
      "");
}

CLI::Validator HexBytes() {
  return CLI::Validator(
      [](std::string& word) -> std::string {
        std::vector<std::uint8_t> bytes(word.size() / 2);
        if (word.empty() || word.size() % 2 != 0 || !device::HexToBytes(bytes, word))
          return "must be pairs of hexadecimal digits, not " + Quoted(word);
        return {};
      },
      "");
}

CLI::Validator NotEmpty() {
  return CLI::Validator(
      [](std::string& word) -> std::string { return word.empty() ? "needs a value, not \"\"" : ""; }, "");
}

CLI::Validator OneOf(std::vector<std::string> choices) {
  std::string listed;
  for (std::size_t i = 0; i < choices.size(); ++i)
    listed += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
  return CLI::Validator(
      [choices, listed](std::string& word) -> std::string {
        for (const std::string& choice : choices)
          if (word == choice) return {};
        return "must be " + listed + ", not " + Quoted(word);
      },
      "");
}

CLI::Option* AddHexArgument(CLI::App& command, const std::string& name, std::uint32_t& into,
                            const std::string& description) {
  return command.add_option(name, into, description)->required()->type_name("HEX")->transform(HexNumber());
}

CLI::Option* AddDecimalArgument(CLI::App& command, const std::string& name, std::uint32_t& into,
                                std::uint32_t max, const std::string& description, std::uint32_t min) {
  return command.add_option(name, into, description)
      ->required()
      ->type_name("N")
      ->transform(DecimalNumber(max, min));
}

CLI::Option* AddHexBytesArgument(CLI::App& command, const std::string& name, std::string& into,
                                 const std::string& description) {
  return command.add_option(name, into, description)->required()->type_name("HEX")->check(HexBytes());
}

std::string UnwritableProblem(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_directory(path, error)) return "\"" + path + "\" is a folder";
  std::string folder = fs::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, error)) return "the folder of \"" + path + "\" does not exist";
  const std::string checked = fs::exists(path, error) ? path : folder;
  if (::access(checked.c_str(), W_OK) != 0)
    return "\"" + checked + "\" cannot be written: " + std::strerror(errno);
  return {};
}

CLI::Validator WritableFile() {
  return CLI::Validator([](std::string& word) { return UnwritableProblem(word); }, "");
}

}  // namespace kqa::cli
