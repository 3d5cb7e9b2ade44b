// kestrelqa-cli: the device access layer of kestrelqa in an engineer's shell.
#include <unistd.h>

#include <iostream>

#include "cli/command_line.h"
#include "devices/device_select.h"
#include "platform/clock/clock.h"

int main(int argc, char** argv) {
  using namespace kqa;
  cli::CommandLine commandLine;
  if (const auto exitCode = commandLine.parse(argc, argv, std::cout, std::cerr)) return *exitCode;
  const cli::GlobalOptions& options = commandLine.options();

  if (const auto exitCode = commandLine.runWithoutDevice(std::cout, std::cerr)) return *exitCode;

  devices::DeviceChoice choice;
  std::string error;
  if (!options.device.empty() && !devices::ParseDeviceChoice(options.device, choice, error))
    return commandLine.refuse("--device " + options.device + ": " + error, cli::kExitUsage, std::cout,
                              std::cerr);
  if (!devices::ApplyChipOptions({options.stateFile, options.environmentFile, options.seed, options.timing},
                                 choice, error))
    return commandLine.refuse(error, cli::kExitUsage, std::cout, std::cerr);
  std::unique_ptr<devices::OpenedDevice> opened = devices::OpenDevice(choice, SystemClock(), error);
  if (!opened) return commandLine.refuse("no device: " + error, cli::kExitFailed, std::cout, std::cerr);
  std::cerr << "Device: " << opened->description() << '\n';

  return commandLine.runOn(opened->provider(), SystemClock(),
                           {opened->description(), opened->isEmulated(), !opened->servedByDaemon()},
                           {std::cin, std::cout, std::cerr, ::isatty(STDIN_FILENO) == 1});
}
