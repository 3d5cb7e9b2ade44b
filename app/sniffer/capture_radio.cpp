#include "app/sniffer/capture_radio.h"

#include <algorithm>
#include <cstdint>

#include "app/device/channel_table.h"
#include "app/device/config_memory.h"
#include "app/device/register_access.h"

namespace kqa::sniffer {

namespace {

constexpr std::uint8_t kSynthesizerBank = 0;

// Reads an RF bank 0 register, keeps the bits outside `mask`, writes `bits`.
bool Merge(device::RegisterAccess& access, std::uint8_t reg, std::uint8_t mask, std::uint8_t bits) {
  std::uint8_t value = 0;
  if (!access.AccessRfRegister(device::kRegisterRead, kSynthesizerBank, reg, value)) return false;
  value = static_cast<std::uint8_t>((value & ~mask) | (bits & mask));
  return access.AccessRfRegister(device::kRegisterWrite, kSynthesizerBank, reg, value);
}

}  // namespace

bool TuneChannel(device::DeviceContext& device, int channel) {
  const auto table = device::ChannelParamTable();
  const auto row =
      std::find_if(table.begin(), table.end(), [&](const device::ChannelParams& params) {
        return static_cast<int>(params.channel) == channel;
      });
  if (row == table.end()) return false;
  device::RegisterAccess access(device);
  return Merge(access, 20, 0xFF, row->r20) && Merge(access, 21, 0x01, row->r21Bit0) &&
         Merge(access, 16, 0x0F, row->r16Bits) && Merge(access, 22, 0x07, row->r22Bits) &&
         Merge(access, 17, 0xFF, row->r17) && Merge(access, 18, 0xFF, row->r18) &&
         Merge(access, 19, 0x03, row->r19Bits);
}

std::optional<SignalCalibration> ReadSignalCalibration(device::ConfigMemory memory, int channel) {
  const bool fiveGhz = channel > 14;
  std::uint16_t offsets = 0;
  std::uint16_t gains = 0;
  if (device::ReadEepromWord(memory, fiveGhz ? 0x4A : 0x46, offsets) != device::NvmResult::Ok ||
      device::ReadEepromWord(memory, 0x44, gains) != device::NvmResult::Ok)
    return std::nullopt;
  SignalCalibration calibration;
  calibration.rssiOffset = static_cast<std::int8_t>(offsets & 0xFF);
  calibration.bandLnaGain = fiveGhz ? gains >> 8 : gains & 0xFF;
  return calibration;
}

}  // namespace kqa::sniffer
