#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::shell {

// kestrelqa [--device KIND] [--state FILE] [letters...]
struct ProgramOptions {
  std::string device;  // as given; empty: find one (daemon, real chip, else emulated)
  std::string stateFile;  // the emulated chip's non-volatile state
  // Every other parameter, for the page letters f, p and i.
  std::vector<std::string> pageParameters;
  bool help = false;
};

// Parses the arguments after the program name. Returns false with a
// one-line reason on a missing value or an unknown "--" option.
bool ParseProgramOptions(std::span<const std::string> arguments, ProgramOptions& options,
                         std::string& error);

std::string_view ProgramUsage();

}  // namespace kqa::shell
