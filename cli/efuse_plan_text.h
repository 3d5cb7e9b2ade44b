#pragma once

#include <string>

#include "app/device/config_memory_mode.h"
#include "app/device/efuse_plan.h"
#include "cli/command_run.h"

namespace kqa::cli {

// An eFuse write plan as the engineer reads it before the burn: each
// logical block's physical block and the bytes it burns, the blocks that
// found no free block, the free count before and after, and why a plan that
// cannot run is refused. `json` receives the same as an object.
std::string PlanText(const device::ConfigMemoryMode& mode, const device::EfuseWritePlan& plan, Json& json);

}  // namespace kqa::cli
