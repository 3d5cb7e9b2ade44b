#pragma once

#include <string>

#include "app/device/device_context.h"
#include "app/shell/page/outcome.h"
#include "cli/command_run.h"

namespace kqa::cli {

// Shared by the fw and cal families.

// A page outcome other than Done as the command's end: Refused exits 2,
// Cancelled and Failed 1; `summary` follows the logic's own message.
int EndOutcome(CommandRun& run, page::Outcome outcome, const std::string& summary);

// Whether the chip receives (MAC 0x1004 bit 3): a command started earlier
// through the daemon may have switched reception on, and a firmware
// command's exchange must then leave it on.
bool ReceptionOn(device::DeviceContext& device);

}  // namespace kqa::cli
