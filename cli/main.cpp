// kestrelqa-cli: the device access layer of kestrelqa in an engineer's shell.
#include <unistd.h>

#include <iostream>

#include "app/device/connection.h"
#include "app/device/startup.h"
#include "cli/cli_session.h"
#include "cli/daemon_command.h"
#include "platform/clock/clock.h"
#include "devices/device_select.h"

int main(int argc, char** argv) {
  using namespace kqa;
  cli::CliOptions options;
  std::string error;
  if (!cli::ParseCliArguments(argc, argv, options, error)) {
    std::cerr << "kestrelqa-cli: " << error << "\n(kestrelqa-cli --help lists the commands)\n";
    return cli::kExitUsage;
  }
  if (options.help) {
    std::cout << cli::CliUsage();
    return cli::kExitOk;
  }

  if (cli::IsDaemonCommand(options)) return cli::DaemonCommand(options, std::cout, std::cerr);

  devices::DeviceChoice choice;
  if (!options.device.empty() && !devices::ParseDeviceChoice(options.device, choice, error)) {
    std::cerr << "kestrelqa-cli: --device " << options.device << ": " << error << '\n';
    return cli::kExitUsage;
  }
  choice.stateFile = options.stateFile;
  std::unique_ptr<devices::OpenedDevice> opened = devices::OpenDevice(choice, SystemClock(), error);
  if (!opened) {
    std::cerr << "kestrelqa-cli: no device: " << error << '\n';
    return cli::kExitFailed;
  }
  std::cerr << "Device: " << opened->description() << '\n';

  cli::TerminalPrompt prompt(std::cin, std::cerr, ::isatty(STDIN_FILENO) == 1, options.yes);
  device::DeviceContext context(opened->provider(), prompt, SystemClock());
  context.trace = nullptr;
  if (options.verbose) context.trace = [](std::string_view text) { std::cerr << text; };

  device::StartupOptions startupOptions;
  startupOptions.eepromFile = options.eepromFile;
  cli::CliSession session{context, prompt, device::RunDeviceStartup(context, startupOptions),
                          opened->description(), opened->isEmulated(), std::cout, std::cerr,
                          !opened->servedByDaemon()};
  const int exitCode = cli::RunCliCommand(options, session);
  device::CloseDevice(context);
  return exitCode;
}
