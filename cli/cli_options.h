#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kqa::cli {

// The command line of kestrelqa-cli: options may stand anywhere; the other
// words form the command and its arguments.
struct CliOptions {
  std::string device;      // --device KIND; empty: choose automatically
  std::string stateFile;   // --state FILE (emulated chip's non-volatile state)
  std::string nvm;         // --nvm eeprom|efuse|buffer; empty: as start-up chose
  std::string eepromFile = "eeprom.bin";  // --eeprom-file FILE (buffer back end)
  std::string space = "mac";              // --space mac|sys|abs (reg)
  std::string dialect = "keyword";        // --dialect keyword|bbp|rf (script run)
  std::optional<std::size_t> outLength;   // --out N (ioctl)
  bool json = false;
  bool yes = false;
  bool verbose = false;
  bool help = false;
  std::vector<std::string> words;  // the command and its arguments
};

// False with a message when an option is unknown or lacks its value.
bool ParseCliArguments(int argc, const char* const* argv, CliOptions& options, std::string& error);

// The usage text printed by --help.
const char* CliUsage();

}  // namespace kqa::cli
