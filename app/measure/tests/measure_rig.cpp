#include "app/measure/tests/measure_rig.h"

#include "app/device/config_memory.h"
#include "app/device/register_access.h"

namespace kqa::measure::testing {

chip::KestrelOptions RadioRig(std::string_view environment, bool impairments) {
  chip::KestrelOptions options;
  options.radio.environment = chip::Environment::Parse(environment);
  if (!impairments) {
    options.radio.iqGainImbalance = 0;
    options.radio.iqPhaseDeg = 0;
    options.radio.iqGroupDelayNs = 0;
    options.radio.dcOffsetI = 0;
    options.radio.dcOffsetQ = 0;
  }
  return options;
}

RigTuner::RigTuner(device::testing::RigBed& bed) : RigTuner(bed.device, bed.memoryMode, bed.channels) {}

RigTuner::RigTuner(device::DeviceContext& device, device::ConfigMemoryMode& memoryMode,
                       device::ChannelState& channels)
    : device_(device), channels_(channels) {
  device::ReadEepromWord({device, memoryMode}, 0x34, device_.eepromWord34);
}

void RigTuner::selectChannel(int index) {
  const device::ChannelParams& channel = channels_.channelParams[static_cast<std::size_t>(index)];
  device::RegisterAccess access(device_);
  const std::pair<std::uint8_t, std::uint8_t> writes[] = {
      {12, 0x24}, {17, channel.r17}, {18, channel.r18}, {19, channel.r19Bits}, {20, channel.r20}, {21, channel.r21Bit0}};
  for (auto [reg, value] : writes) access.AccessRfRegister(device::kRegisterWrite, 0, reg, value);
  channels_.channelIndex = index;
}

void RigTuner::toggleReceive() {
  device::RegisterAccess access(device_);
  std::uint32_t control = 0;
  access.ReadMacRegister(0x1004, control);
  access.WriteMacRegister(0x1004, control ^ 0x8);
  ++toggles;
}

}  // namespace kqa::measure::testing
