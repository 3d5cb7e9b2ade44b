#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/device/efuse_plan.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"

namespace kqa::nvm {

// Every eFuse write of the configuration pages goes through here: the whole
// change is planned before the first bit (app/device/efuse_plan.h), a change
// the free blocks cannot hold is refused and burns nothing, the question
// shows the plan's exact count, and what was burnt is verified.

// When the question before a burn is asked: always (block writes, image
// loads, the LED words), or unless "Disable Write Warning" is set (single
// bytes, the MAC address).
enum class EfuseQuestion { Always, UnlessWarningDisabled };

// The free block count the plan leaves: exact when it can run; otherwise the
// count less the fresh blocks it needs, negative when the eFuse cannot hold it.
int EfuseForecast(const device::EfuseWritePlan& plan);

// " eFuse write fail (overflow)!, Free block before write=%d, after write=%d"
std::string EfuseOverflowMessage(int freeBefore, int freeAfter);

// Shows why a plan that cannot run is refused: the overflow message when its
// forecast is negative, else the reason. Returns what the caller returns.
page::Outcome RefuseEfusePlan(device::DeviceContext& device, const device::EfuseWritePlan& plan);

// Carries out a plan made a moment ago: refuses it when it cannot run, does
// nothing when it changes nothing, asks
// "Free block before write=%d, after write=%d, are you sure to write?" with
// its count (Cancel: Cancelled, nothing burnt), burns and verifies it block
// by block (`progress` hears each block), and says so when the free count
// afterwards is not the planned one (a block needed another attempt).
page::Outcome BurnEfusePlan(device::ConfigMemory memory, const device::EfuseWritePlan& plan,
                            EfuseQuestion question, const page::Progress& progress = {});

// Plans writing `data` at logical `offset` and carries the plan out.
page::Outcome BurnEfuse(device::ConfigMemory memory, std::uint16_t offset,
                        std::span<const std::uint8_t> data, EfuseQuestion question,
                        const page::Progress& progress = {});

}  // namespace kqa::nvm
