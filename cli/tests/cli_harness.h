#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
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
  std::istringstream in(terminalInput);
  std::ostringstream out;
  std::ostringstream err;
  CommandLine line;
  if (const auto exitCode = line.parse(static_cast<int>(argv.size()), argv.data(), out, err)) {
    run.exitCode = *exitCode;
    run.out = out.str();
    run.err = err.str();
    return run;
  }
  run.exitCode = line.runOn(provider, clock, {"test device", true}, {in, out, err, interactive});
  run.out = out.str();
  run.err = err.str();
  return run;
}

}  // namespace kqa::cli::testing
