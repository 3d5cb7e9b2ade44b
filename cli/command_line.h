#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_session.h"
#include "platform/clock/clock.h"
#include "platform/ioctl/device_interface.h"

namespace CLI {
class App;
}

namespace kqa::cli {

// The options every command takes, wherever they stand on the line.
struct GlobalOptions {
  std::string device;                     // --device KIND; empty: choose automatically
  std::string stateFile;                  // --state FILE (emulated chip's non-volatile state)
  std::string environmentFile;            // --environment FILE (emulated chip's radio environment)
  std::string seed;                       // --seed N (emulated chip)
  std::string timing;                     // --timing usb2 (emulated chip)
  std::string nvm;                        // --nvm eeprom|efuse|buffer; empty: as start-up chose
  std::string eepromFile = "eeprom.bin";  // --eeprom-file FILE (buffer back end)
  bool json = false;
  bool yes = false;
  bool verbose = false;
};

class CommandTable;

// What the chosen device is called, for the output.
struct DeviceLabel {
  std::string description;  // e.g. "emulated Kestrel (EEPROM board, in-process)"
  bool emulated = false;
  bool driverInProcess = true;  // false through kestrelqa-usbd
};

// Where a run talks to its user.
struct Terminal {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool interactive = false;  // questions can be answered on `in`
};

// kestrelqa-cli's command line, read with CLI11: the global options and one
// command of a family ("reg read", "nvm write", ...). Each family adds its
// commands in a file of its own (command_families.h); this class only reads
// the line and runs what it chose.
class CommandLine {
 public:
  CommandLine();
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  // Reads argv (argv[0] is the program). nullopt when a command was chosen
  // and may run. Otherwise the run is over and the result is its exit code:
  // 0 after --help printed its text on `out`, 2 when the line was refused
  // (the reason on `err`, and with --json also as an object on `out`).
  // Nothing touches a device here.
  std::optional<int> parse(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

  const GlobalOptions& options() const { return options_; }

  // Runs the chosen command when it opens no device ("daemon status") and
  // returns its exit code; nullopt when the command needs a device.
  std::optional<int> runWithoutDevice(std::ostream& out, std::ostream& err);

  // Ends a run that never reached a command (no device to work with): the
  // message on `err`, and with --json as an object on `out`. Returns
  // `exitCode`.
  int refuse(const std::string& message, int exitCode, std::ostream& out, std::ostream& err) const;

  // Everything after the device was chosen: a context on `provider`, the
  // device start-up, then run(). The start-up works on the eFuse without
  // looking for an image file: the buffer back end is --nvm buffer's.
  int runOn(ioctl::DeviceInterfaceProvider& provider, Clock& clock, const DeviceLabel& label,
            const Terminal& terminal);

  // Applies --nvm, makes sure the device is open, and runs the chosen
  // command; returns its exit code.
  int run(CliSession& session);

 private:
  std::unique_ptr<CLI::App> app_;
  std::unique_ptr<CommandTable> table_;
  GlobalOptions options_;
};

}  // namespace kqa::cli
