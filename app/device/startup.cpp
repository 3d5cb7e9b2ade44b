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

StartupReport RunDeviceStartup(DeviceContext& device, ConfigMemoryMode& memoryMode,
                               ChannelState& channels, const StartupOptions& options) {
  StartupReport report;
  report.deviceOpen = OpenDevice(device);

  QueryFirmwareMode(device, report.firmwareMode);
  report.efuseInUse = EfuseInUse(device, report.firmwareMode);
  if (report.efuseInUse) {
    memoryMode.efuseMode = true;
    memoryMode.bufferMode = !options.eepromFile.empty() || memoryMode.eepromFileLoaded;
    if (memoryMode.bufferMode && !memoryMode.eepromFileLoaded) {
      std::string problem;
      if (LoadEepromImageFile(memoryMode, options.eepromFile, &problem)) {
        report.eepromFileRead = true;
      } else {
        // A file that is there but unusable is named; a missing one gets
        // the tool's own words.
        problem[0] = 'T';  // "the EEPROM image file ..." opens the sentence
        device.prompt.showMessage(std::filesystem::exists(options.eepromFile)
                                      ? problem + ". Read from eFuse..."
                                      : std::string(kEepromFileNotFoundText));
        memoryMode.bufferMode = false;
      }
    }
  } else {
    memoryMode.efuseMode = false;
    memoryMode.bufferMode = false;
  }
  report.backEnd = ActiveBackEnd(memoryMode);

  RegisterAccess(device).ReadMacRegister(0x0000, device.asicVersion);

  channels.channelParams = ChannelParamTable();
  channels.channelNameTable = ChannelNames();
  channels.channelList = ChannelList();
  channels.channelCount = kChannelCount;

  device.rxHeaderSize = RxwiSizeFor(device.asicVersion) + 8;
  device.txwiSize = TxwiSizeFor(device.asicVersion);

  memoryMode.efuseAreaSize = kEfuseAreaSize;
  memoryMode.efuseAreaStart = kEfuseAreaStart;
  memoryMode.efuseAreaEnd = kEfuseAreaEnd;
  return report;
}

}  // namespace kqa::device
