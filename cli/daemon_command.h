#pragma once

#include <ostream>

#include "cli/cli_options.h"

namespace kqa::cli {

// "daemon status": asks the running kestrelqa-usbd (--device socket:PATH,
// else the default paths) what it serves, since when, and who is connected.
// It opens no device, so it works while another program holds the bench.
bool IsDaemonCommand(const CliOptions& options);
int DaemonCommand(const CliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kqa::cli
