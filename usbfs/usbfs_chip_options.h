#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "chip/kestrel_options.h"

namespace kqa::usbfs {

// kestrelqa-usbfs-chip [--board eeprom|efuse] [--environment FILE] -- COMMAND [ARGUMENTS...]
struct UsbfsChipOptions {
  chip::Board board = chip::Board::Eeprom;
  std::filesystem::path environmentFile;  // the air around the chip; empty: the built-in bench
  std::vector<std::string> command;
};

enum class ParseOutcome { Run, Help, Mistake };

// Parses the arguments. Help: `text` holds the help; Mistake: `text` says
// what is wrong, with a pointer to --help.
ParseOutcome ParseUsbfsChipOptions(int argc, const char* const* argv, UsbfsChipOptions& options,
                                   std::string& text);

// "emulated Kestrel (EEPROM board)" or "(eFuse board)".
std::string ChipName(chip::Board board);

}  // namespace kqa::usbfs
