#include "app/measure/capture_sequence.h"

#include "app/device/register_access.h"

namespace kqa::measure {
namespace {

constexpr std::uint32_t kMacControl = 0x1004;  // bit 3 receiver on
constexpr std::uint32_t kBankSelect = 0x0400;
constexpr std::uint32_t kPacketBufferControl = 0x0404;
constexpr std::uint32_t kFeqBit = 1u << 17;
constexpr std::uint32_t kManualTriggerBit = 1u << 20;
constexpr int kCapturePolls = 1000;
constexpr int kPollIntervalMs = 10;

void Bbp(device::RegisterAccess& access, std::uint8_t id, std::uint8_t value) {
  access.AccessBbpRegister(device::kRegisterWrite, id, value);
}

void Modify(device::RegisterAccess& access, std::uint32_t offset, std::uint32_t clear,
            std::uint32_t set) {
  std::uint32_t value = 0;
  access.ReadMacRegister(offset, value);
  access.WriteMacRegister(offset, (value & ~clear) | set);
}

}  // namespace

CaptureOutcome RunCapture(device::DeviceContext& device, const CaptureRecipe& recipe,
                          const std::function<bool()>& stopRequested) {
  device::RegisterAccess access(device);
  access.WriteMacRegister(kMacControl, 0);
  access.WriteMacRegister(kPacketBufferControl, 0);
  access.WriteMacRegister(kBankSelect, 0x00080C00);
  Modify(access, kPacketBufferControl, 0, 0x200);
  Bbp(access, 31, 0x48);

  Modify(access, kCaptureConfig, kFeqBit, recipe.feq ? kFeqBit : 0);
  Bbp(access, 251, 0x64);
  Bbp(access, 252, recipe.sixBit ? 4 : 0);
  const bool offsetUsed = recipe.stopOffset >= 1 && recipe.stopOffset <= kMaxStopOffset;
  Modify(access, kCaptureConfig, kMaxStopOffset, offsetUsed ? recipe.stopOffset : 0);

  access.WriteMacRegister(kMacControl, 0x8);
  if (recipe.sixBit) Bbp(access, 47, 0x88);
  access.WriteMacRegister(kCaptureControl, 0x11);
  access.WriteMacRegister(kCaptureControl, 0x111);

  if (recipe.manualTrigger) {
    if (recipe.waitBeforeTrigger) device.clock.sleepMs(kPollIntervalMs);
    Modify(access, kCaptureConfig, 0, kManualTriggerBit);
    Bbp(access, 251, 0);
    Bbp(access, 252, 0);
    Bbp(access, 195, 0);
    Bbp(access, 196, 0x80);
  } else {
    Modify(access, kCaptureConfig, kManualTriggerBit, 0);
    Bbp(access, 251, 0);
    Bbp(access, 252, 1);
    Bbp(access, 195, 0);
    Bbp(access, 196, 0);
  }

  CaptureOutcome outcome;
  for (int poll = 0; poll < kCapturePolls && !outcome.completed; ++poll) {
    if (stopRequested && stopRequested()) {
      outcome.stopped = true;
      break;
    }
    device.clock.sleepMs(kPollIntervalMs);
    std::uint32_t status = kCaptureBusy;
    // A failed read gives the capture up (one message, not a thousand).
    if (!access.ReadMacRegister(kCaptureStatus, status)) break;
    outcome.completed = (status & kCaptureBusy) == 0;
  }

  access.WriteMacRegister(kMacControl, 0);
  Modify(access, kCaptureControl, 0, 0x200);
  std::uint32_t status = 0;
  access.ReadMacRegister(kCaptureStatus, status);
  outcome.endPointer = status & kMaxStopOffset;
  return outcome;
}

void RestoreAfterCapture(device::DeviceContext& device) {
  device::RegisterAccess access(device);
  Modify(access, kBankSelect, 0, 0x8);
  device.clock.sleepMs(kPollIntervalMs);
  Modify(access, kBankSelect, 0x8, 0);
  Modify(access, kPacketBufferControl, 0x200, 0);
  access.WriteMacRegister(kPacketBufferControl, 0x00F40016);
}

}  // namespace kqa::measure
