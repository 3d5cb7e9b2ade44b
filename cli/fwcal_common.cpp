#include "cli/fwcal_common.h"

#include "app/device/register_access.h"

namespace kqa::cli {

int EndOutcome(CommandRun& run, page::Outcome outcome, const std::string& summary) {
  switch (outcome) {
    case page::Outcome::Done: return kExitOk;
    case page::Outcome::Refused: return run.usage(summary);
    case page::Outcome::Cancelled: return run.fail(summary + ": cancelled, nothing was written");
    case page::Outcome::Failed: break;
  }
  return run.fail(summary);
}

bool ReceptionOn(device::DeviceContext& device) {
  std::uint32_t control = 0;
  return device::RegisterAccess(device).ReadMacRegister(0x1004, control) && (control & 0x8) != 0;
}

}  // namespace kqa::cli
