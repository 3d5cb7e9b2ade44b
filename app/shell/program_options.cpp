#include "app/shell/program_options.h"

#include <utility>

namespace kqa::shell {
namespace {

// "--name VALUE" or "--name=VALUE"; advances `index` past what it used.
bool TakeValue(std::span<const std::string> arguments, std::size_t& index, std::string_view name,
               std::string& value, bool& matched, std::string& error) {
  const std::string& argument = arguments[index];
  matched = false;
  if (argument == name) {
    matched = true;
    if (index + 1 >= arguments.size()) {
      error = std::string(name) + " needs a value";
      return false;
    }
    value = arguments[++index];
  } else if (argument.size() > name.size() && argument.compare(0, name.size(), name) == 0 &&
             argument[name.size()] == '=') {
    matched = true;
    value = argument.substr(name.size() + 1);
  }
  if (matched && value.empty()) {  // "--state ''" would otherwise be no option at all
    error = std::string(name) + " needs a value";
    return false;
  }
  return true;
}

}  // namespace

bool ParseProgramOptions(std::span<const std::string> arguments, ProgramOptions& options,
                         std::string& error) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    bool matched = false;
    for (const auto& [name, value] :
         {std::pair<std::string_view, std::string*>{"--device", &options.device},
          {"--state", &options.stateFile},
          {"--environment", &options.environmentFile},
          {"--seed", &options.seed},
          {"--timing", &options.timing}}) {
      if (!TakeValue(arguments, i, name, *value, matched, error)) return false;
      if (matched) break;
    }
    if (matched) continue;
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    if (argument.rfind("--", 0) == 0 && argument.size() > 2) {
      error = "unknown option " + argument;
      return false;
    }
    options.pageParameters.push_back(argument);
    ApplyCommandLineParameter(options.pageFlags, argument);
  }
  return true;
}

void ApplyCommandLineParameter(PageFlags& flags, std::string_view parameter) {
  if (parameter.find('f') != std::string_view::npos) flags.fftPages = true;
  if (parameter.find('p') != std::string_view::npos) flags.papdPage = true;
  if (parameter.find('i') != std::string_view::npos) flags.iqCalPage = true;
}

std::string_view ProgramUsage() {
  return "usage: kestrelqa [--device KIND] [--state FILE] [--environment FILE] [--seed N]\n"
         "                 [--timing usb2] [letters...]\n"
         "  --device KIND  emulated | emulated:efuse | usb[:VVVV:PPPP] | socket[:PATH]\n"
         "                 (default: a running kestrelqa-usbd, else a real chip; the\n"
         "                 emulated chip only when chosen)\n"
         "  --state FILE   where the emulated chip keeps its EEPROM, eFuse and flash\n"
         "  --environment FILE  the emulated chip's radio environment\n"
         "  --seed N       the emulated chip's serial number and radio draws\n"
         "  --timing usb2  the emulated chip answers about as fast as over USB 2.0\n"
         "  letters        any parameter holding f adds the Noise Level and FFT Graph\n"
         "                 pages, p the PAPD Test page, i the IQ Cal page (e.g. fpi)\n";
}

}  // namespace kqa::shell
