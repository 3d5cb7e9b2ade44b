#include "cli/cli_options.h"

#include <charconv>
#include <string_view>

namespace kqa::cli {

const char* CliUsage() {
  return R"(Usage: kestrelqa-cli [options] COMMAND [ARGUMENTS]

Commands (addresses, offsets and values hexadecimal, "0x" allowed; BBP ids,
RF banks and registers, counts and lengths decimal):
  info                            chip identity, configuration memory, firmware, USB descriptor
  reg read [--space S] ADDR       32-bit register ("%08X"); S = mac (default), sys, abs
  reg write [--space S] ADDR VALUE
  bbp read ID                     8-bit BBP register ("%02X")
  bbp write ID VALUE
  rf read BANK REG                8-bit RF register ("%02X")
  rf write BANK REG VALUE
  nvm read OFFSET COUNT           configuration memory, 16 bytes a line
  nvm write OFFSET HEXBYTES       e.g. "nvm write 4 001122334455"
  efuse free                      free eFuse blocks, "free / total"
  efuse dump                      the 512 physical eFuse bytes
  ioctl CODE [INPUT_HEX] [--out N]  one raw control code with N output bytes
  script run [--dialect D] FILE   a register script; D = keyword (default), bbp, rf
  selftest                        checks identity, registers, BBP, RF, memory, firmware
  daemon status                   the running kestrelqa-usbd: its device, uptime, connected clients

Options:
  --device KIND     emulated | emulated:efuse | usb[:VVVV:PPPP] | socket[:PATH]
                    (default: a running daemon's socket, else a real chip, else emulated)
  --state FILE      non-volatile state file of the emulated chip
  --nvm BACKEND     eeprom | efuse | buffer: override the configuration-memory back end
  --eeprom-file F   image of the buffer back end (default eeprom.bin)
  --json            machine-readable output
  --yes             confirm eFuse writes without asking (needed without a terminal)
  --verbose         show the connection's traces on standard error
  -h, --help        this text
)";
}

bool ParseCliArguments(int argc, const char* const* argv, CliOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    const auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        error = std::string(word) + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (word == "--json") {
      options.json = true;
    } else if (word == "--yes") {
      options.yes = true;
    } else if (word == "--verbose") {
      options.verbose = true;
    } else if (word == "-h" || word == "--help") {
      options.help = true;
    } else if (word == "--device") {
      if (!value(options.device)) return false;
    } else if (word == "--state") {
      if (!value(options.stateFile)) return false;
    } else if (word == "--nvm") {
      if (!value(options.nvm)) return false;
      if (options.nvm != "eeprom" && options.nvm != "efuse" && options.nvm != "buffer") {
        error = "--nvm must be eeprom, efuse or buffer, not \"" + options.nvm + "\"";
        return false;
      }
    } else if (word == "--eeprom-file") {
      if (!value(options.eepromFile)) return false;
    } else if (word == "--space") {
      if (!value(options.space)) return false;
      if (options.space != "mac" && options.space != "sys" && options.space != "abs") {
        error = "--space must be mac, sys or abs, not \"" + options.space + "\"";
        return false;
      }
    } else if (word == "--dialect") {
      if (!value(options.dialect)) return false;
      if (options.dialect != "keyword" && options.dialect != "bbp" && options.dialect != "rf") {
        error = "--dialect must be keyword, bbp or rf, not \"" + options.dialect + "\"";
        return false;
      }
    } else if (word == "--out") {
      std::string text;
      if (!value(text)) return false;
      std::size_t length = 0;
      const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), length);
      if (text.empty() || failure != std::errc() || end != text.data() + text.size()) {
        error = "--out needs a decimal byte count, not \"" + text + "\"";
        return false;
      }
      options.outLength = length;
    } else if (word.size() > 1 && word.front() == '-' && word != "-") {
      error = "unknown option " + std::string(word);
      return false;
    } else {
      options.words.emplace_back(word);
    }
  }
  return true;
}

}  // namespace kqa::cli
