#include "cli/measure_radio.h"

#include "app/device/register_access.h"
#include "app/sniffer/capture_radio.h"

namespace kqa::cli {

namespace {
constexpr std::uint32_t kMacSysControl = 0x1004;
constexpr std::uint32_t kReceiveEnable = 0x8;
}  // namespace

bool MeasureRadio::tune(int number) {
  if (!sniffer::TuneChannel(device_, number)) return false;
  channels_.channelIndex = number - 1;
  return true;
}

void MeasureRadio::selectBandwidth(int) {}

void MeasureRadio::selectChannel(int index) {
  tune(index + 1);
}

void MeasureRadio::toggleReceive() {
  device::RegisterAccess access(device_);
  std::uint32_t control = 0;
  if (access.ReadMacRegister(kMacSysControl, control))
    access.WriteMacRegister(kMacSysControl, control ^ kReceiveEnable);
}

}  // namespace kqa::cli
