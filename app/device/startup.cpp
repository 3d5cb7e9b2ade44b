#include "app/device/startup.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "app/device/chip_numbers.h"
#include "app/device/channel_table.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/register_access.h"

namespace kqa::device {
namespace {

constexpr std::uint32_t kEfuseControl = 0x24;
constexpr std::uint32_t kEfuseInUseBit = 1u << 31;
constexpr std::size_t kEepromFileBytes = 512;

bool EfuseInUse(DeviceContext& device, std::uint32_t firmwareMode) {
  if ((firmwareMode & 3) == 2) return true;
  std::uint32_t control = 0;
  // A read that failed says nothing about the eFuse (its 0xFFFFFFFF would
  // look like bit 31 set).
  if (!RegisterAccess(device).ReadMacRegister(kEfuseControl, control)) return false;
  return (control & kEfuseInUseBit) != 0;
}

}  // namespace

StartupReport RunDeviceStartup(DeviceContext& device, const StartupOptions& options) {
  StartupReport report;
  report.deviceOpen = OpenDevice(device);

  QueryFirmwareMode(device, report.firmwareMode);
  report.efuseInUse = EfuseInUse(device, report.firmwareMode);
  if (report.efuseInUse) {
    device.efuseMode = true;
    device.bufferMode = true;
    if (!device.eepromFileLoaded) {
      if (LoadEepromImageFile(device, options.eepromFile)) {
        report.eepromFileRead = true;
      } else {
        device.prompt.showMessage(kEepromFileNotFoundText);
        device.bufferMode = false;
      }
    }
  } else {
    device.efuseMode = false;
    device.bufferMode = false;
  }
  report.backEnd = ActiveBackEnd(device);

  RegisterAccess(device).ReadMacRegister(0x0000, device.asicVersion);

  device.channelParams = ChannelParamTable();
  device.channelNameTable = ChannelNames();
  device.channelList = ChannelList();
  device.channelCount = kChannelCount;

  device.rxHeaderSize = RxwiSizeFor(device.asicVersion) + 8;
  device.txwiSize = TxwiSizeFor(device.asicVersion);

  device.efuseAreaSize = kEfuseAreaSize;
  device.efuseAreaStart = kEfuseAreaStart;
  device.efuseAreaEnd = kEfuseAreaEnd;
  return report;
}

bool LoadEepromImageFile(DeviceContext& device, const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  std::array<std::uint8_t, kEepromFileBytes> bytes{};
  const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
  if (std::ferror(file.get())) return false;
  std::copy_n(bytes.begin(), read, device.eepromImage.begin());
  device.eepromFileLoaded = true;
  return true;
}

void ApplyCommandLineParameter(DeviceContext& device, std::string_view parameter) {
  if (parameter.find('f') != std::string_view::npos) device.showFftPages = true;
  if (parameter.find('p') != std::string_view::npos) device.showPapdPage = true;
  if (parameter.find('i') != std::string_view::npos) device.showIqCalPage = true;
}

}  // namespace kqa::device
