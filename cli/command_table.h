#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_run.h"

namespace CLI {
class App;
}

namespace kqa::cli {

using CommandAction = std::function<int(CommandRun&)>;

struct GlobalOptions;
// A command that opens no device ("daemon status"): it runs before a device
// is chosen, with the line's options and the two output streams.
using DevicelessAction =
    std::function<int(const GlobalOptions& options, std::ostream& out, std::ostream& err)>;

// The commands of kestrelqa-cli, each a CLI11 subcommand with its own
// arguments and --help, and the action that runs when the line chose it.
// A family adds its commands in its own file:
//
//   void AddThingCommands(CLI::App& program, CommandTable& table) {
//     CLI::App& thing = CommandTable::Group(program, "thing", "what the family does");
//     auto args = std::make_shared<ThingArguments>();   // bound by CLI11, read by the action
//     CLI::App& read = table.add(thing, "read", "reads a thing", [args](CommandRun& run) {...});
//     AddDecimalArgument(read, "ID", args->id, 15, "which thing");
//   }
//
// and one line in kFamilies (command_line.cpp) lists it.
class CommandTable {
 public:
  // A family's name under which its commands stand ("reg" for "reg read"
  // and "reg write"); it needs one of them. Named again, the group is the
  // one made first, so several files may add to it.
  static CLI::App& Group(CLI::App& parent, const std::string& name, const std::string& description);

  // Adds the command `name` under `parent` (the program, a group, or a
  // command added before, whose own commands these then are).
  CLI::App& add(CLI::App& parent, const std::string& name, const std::string& description,
                CommandAction action);

  // Adds a command that opens no device.
  CLI::App& addDeviceless(CLI::App& parent, const std::string& name, const std::string& description,
                          DevicelessAction action);

  // The action of the command the parsed line chose, or null.
  const CommandAction* chosen() const;
  const DevicelessAction* chosenDeviceless() const;

 private:
  std::vector<std::pair<CLI::App*, CommandAction>> commands_;
  std::vector<std::pair<CLI::App*, DevicelessAction>> devicelessCommands_;
};

// The families (one file each).
void AddInfoCommand(CLI::App& program, CommandTable& table);      // info_command.cpp
void AddDaemonCommands(CLI::App& program, CommandTable& table);   // daemon_command.cpp
void AddRegisterCommands(CLI::App& program, CommandTable& table); // register_commands.cpp: reg, bbp, rf
void AddBbpPageCommands(CLI::App& program, CommandTable& table);  // bbp_page_commands.cpp: bbp dump ...
void AddRfPageCommands(CLI::App& program, CommandTable& table);   // rf_page_commands.cpp: rf dump ..., txpower
void AddNvmCommands(CLI::App& program, CommandTable& table);      // nvm_commands.cpp: nvm, efuse
void AddNvmImageCommands(CLI::App& program, CommandTable& table); // nvm_image_commands.cpp: nvm save/load/mac/led, efuse forecast
void AddUsbIdentityCommands(CLI::App& program, CommandTable& table);  // usb_identity_commands.cpp: usbid, strings, sn
void AddFlashCommands(CLI::App& program, CommandTable& table);    // flash_commands.cpp: flash
void AddIoctlCommand(CLI::App& program, CommandTable& table);     // ioctl_command.cpp
void AddScriptCommand(CLI::App& program, CommandTable& table);    // script_command.cpp
void AddSelftestCommand(CLI::App& program, CommandTable& table);  // selftest_command.cpp
void AddBeaconsCommand(CLI::App& program, CommandTable& table);   // beacons_command.cpp
// measure_commands.cpp: capture, spectrum, evm, noise scan, iqcal, papd
void AddMeasureCommands(CLI::App& program, CommandTable& table);
void AddSniffCommands(CLI::App& program, CommandTable& table);    // sniff_command.cpp
void AddTxRxCommands(CLI::App& program, CommandTable& table);     // txrx_commands.cpp: tx, rx, channel, bw, mode, usb
void AddFirmwareCommands(CLI::App& program, CommandTable& table);     // fw_commands.cpp
void AddCalibrationCommands(CLI::App& program, CommandTable& table);  // cal_commands.cpp

}  // namespace kqa::cli
