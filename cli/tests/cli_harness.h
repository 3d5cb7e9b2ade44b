#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/device/startup.h"
#include "cli/cli_session.h"
#include "platform/clock/clock.h"
#include "platform/ioctl/device_interface.h"

namespace kqa::cli::testing {

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs one kestrelqa-cli command line the way the program does after it has
// chosen its device: a fresh context, start-up, the command.
inline CliRun RunCli(ioctl::DeviceInterfaceProvider& provider, Clock& clock,
                     std::vector<std::string> arguments, const std::string& terminalInput = {},
                     bool interactive = false) {
  CliRun run;
  arguments.insert(arguments.begin(), "kestrelqa-cli");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  CliOptions options;
  std::string error;
  if (!ParseCliArguments(static_cast<int>(argv.size()), argv.data(), options, error)) {
    run.exitCode = kExitUsage;
    run.err = error;
    return run;
  }
  std::istringstream in(terminalInput);
  std::ostringstream out;
  std::ostringstream err;
  TerminalPrompt prompt(in, err, interactive, options.yes);
  device::DeviceContext context(provider, prompt, clock);
  context.trace = nullptr;
  device::StartupOptions startup;
  startup.eepromFile = options.eepromFile;
  CliSession session{context, prompt, device::RunDeviceStartup(context, startup), "test device",
                     true, out, err};
  run.exitCode = RunCliCommand(options, session);
  run.out = out.str();
  run.err = err.str();
  return run;
}

}  // namespace kqa::cli::testing
