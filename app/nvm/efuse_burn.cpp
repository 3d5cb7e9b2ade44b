#include "app/nvm/efuse_burn.h"

#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/messages.h"
#include "app/device/text_format.h"

namespace kqa::nvm {

using device::EfuseWritePlan;
using device::EfuseWriteResult;
using page::Outcome;

int EfuseForecast(const EfuseWritePlan& plan) {
  return plan.canRun() ? plan.freeAfter : plan.freeBefore - plan.freshNeeded;
}

std::string EfuseOverflowMessage(int freeBefore, int freeAfter) {
  return device::Format(" eFuse write fail (overflow)!, Free block before write=%d, after write=%d",
                        freeBefore, freeAfter);
}

Outcome RefuseEfusePlan(device::DeviceContext& device, const EfuseWritePlan& plan) {
  switch (plan.verdict) {
    case EfuseWriteResult::Written:
      return Outcome::Done;
    case EfuseWriteResult::DeviceFailed:
      return Outcome::Failed;  // the failed register access has been shown (or there is no device)
    case EfuseWriteResult::OutOfRange:
      device.prompt.showMessage(device::messages::OutOfRange(
          plan.offset, plan.data.size(), device::kEfuseLogicalSize, "eFuse"));
      return Outcome::Refused;
    default:
      break;
  }
  const int forecast = EfuseForecast(plan);
  device.prompt.showMessage(forecast < 0
                                ? EfuseOverflowMessage(plan.freeBefore, forecast)
                                : device::messages::EfuseWriteRefused(device::EfuseRefusalReason(plan)));
  return Outcome::Refused;
}

Outcome BurnEfusePlan(device::ConfigMemory memory, const EfuseWritePlan& plan,
                      EfuseQuestion question, const page::Progress& progress) {
  device::DeviceContext& device = memory.device;
  if (!plan.canRun()) return RefuseEfusePlan(device, plan);
  if (plan.blocks.empty()) return Outcome::Done;  // the eFuse holds these bytes already
  const bool ask = question == EfuseQuestion::Always || !memory.mode.efuseWriteNoConfirm;
  if (ask && !device.prompt.askOkCancel(
                 device::messages::EfuseWriteQuestion(plan.freeBefore, plan.freeAfter)))
    return Outcome::Cancelled;

  std::uint16_t failedAt = plan.offset;
  const EfuseWriteResult result = device::CarryOutEfusePlan(memory, plan, &failedAt, progress);
  if (result != EfuseWriteResult::Written) {
    device.prompt.showMessage(
        device::messages::EfuseWriteFailed(failedAt, device::EfuseWriteResultText(result)));
    return Outcome::Failed;
  }
  const int freeNow = device::EfuseFreeBlockCount(memory);
  if (freeNow != plan.freeAfter) {
    device.prompt.showMessage(device::Format(
        "The eFuse was written and verified, but %d blocks are free, not %d as planned: "
        "a block needed another attempt.",
        freeNow, plan.freeAfter));
  }
  return Outcome::Done;
}

Outcome BurnEfuse(device::ConfigMemory memory, std::uint16_t offset,
                  std::span<const std::uint8_t> data, EfuseQuestion question,
                  const page::Progress& progress) {
  return BurnEfusePlan(memory, device::PlanEfuseWrite(memory, offset, data), question, progress);
}

}  // namespace kqa::nvm
