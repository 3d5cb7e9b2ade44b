#include "app/device/startup.h"

#include <filesystem>
#include <string>

#include "app/device/chip_numbers.h"
#include "app/device/channel_table.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/image_file.h"
#include "app/device/register_access.h"

namespace kqa::device {
namespace {

constexpr std::uint32_t kEfuseControl = 0x24;
constexpr std::uint32_t kEfuseInUseBit = 1u << 31;

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
    device.bufferMode = !options.eepromFile.empty() || device.eepromFileLoaded;
    if (device.bufferMode && !device.eepromFileLoaded) {
      std::string problem;
      if (LoadEepromImageFile(device, options.eepromFile, &problem)) {
        report.eepromFileRead = true;
      } else {
        // A file that is there but unusable is named; a missing one gets
        // the tool's own words.
        problem[0] = 'T';  // "the EEPROM image file ..." opens the sentence
        device.prompt.showMessage(std::filesystem::exists(options.eepromFile)
                                      ? problem + ". Read from eFuse..."
                                      : std::string(kEepromFileNotFoundText));
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

void ApplyCommandLineParameter(DeviceContext& device, std::string_view parameter) {
  if (parameter.find('f') != std::string_view::npos) device.showFftPages = true;
  if (parameter.find('p') != std::string_view::npos) device.showPapdPage = true;
  if (parameter.find('i') != std::string_view::npos) device.showIqCalPage = true;
}

}  // namespace kqa::device
