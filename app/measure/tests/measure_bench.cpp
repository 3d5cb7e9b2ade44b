#include "app/measure/tests/measure_bench.h"

#include "app/device/config_memory.h"
#include "app/device/register_access.h"

namespace kqa::measure::testing {

chip::KestrelOptions RadioBench(std::string_view environment, bool impairments) {
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

BenchTuner::BenchTuner(device::testing::BenchBed& bed) : device_(bed.device), channels_(bed.channels) {
  device::ReadEepromWord(bed.configMemory(), 0x34, device_.eepromWord34);
}

void BenchTuner::selectChannel(int index) {
  const device::ChannelParams& channel = channels_.channelParams[static_cast<std::size_t>(index)];
  device::RegisterAccess access(device_);
  const std::pair<std::uint8_t, std::uint8_t> writes[] = {
      {12, 0x24}, {17, channel.r17}, {18, channel.r18}, {19, channel.r19Bits}, {20, channel.r20}, {21, channel.r21Bit0}};
  for (auto [reg, value] : writes) access.AccessRfRegister(device::kRegisterWrite, 0, reg, value);
  channels_.channelIndex = index;
}

void BenchTuner::toggleReceive() {
  device::RegisterAccess access(device_);
  std::uint32_t control = 0;
  access.ReadMacRegister(0x1004, control);
  access.WriteMacRegister(0x1004, control ^ 0x8);
  ++toggles;
}

}  // namespace kqa::measure::testing
