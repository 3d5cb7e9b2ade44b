#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/device/channel_state.h"
#include "app/device/config_memory.h"
#include "app/device/device_context.h"

namespace kqa::device {

// Texts of the program's start-up, shown through the prompt. The window
// program shows the first two itself (single instance, capture buffer).
inline constexpr std::string_view kAlreadyRunningText = "Kestrel USB QA is already running";
inline constexpr std::string_view kMemoryAllocationFailedText = "Memory allocation failed!";
inline constexpr std::string_view kEepromFileNotFoundText = "EEPROM File not found!Read from eFuse...";
// Name of the single-instance lock.
inline constexpr std::string_view kSingleInstanceName = "BENCHTOP_APP_FOR_USB_KESTREL_DEVICE";

inline constexpr std::uint16_t kEfuseAreaStart = 480;
inline constexpr std::uint16_t kEfuseAreaEnd = 508;
inline constexpr std::uint16_t kEfuseAreaSize = 29;

struct StartupOptions {
  // The configuration image used instead of the eFuse when present; read
  // from the current directory. Empty: work on the eFuse without looking
  // for an image (kestrelqa-cli, which takes the buffer back end only when
  // asked for it).
  std::string eepromFile = "eeprom.bin";
};

// What the device start-up found, for the window's title and About page and
// for the command-line tool's report.
struct StartupReport {
  bool deviceOpen = false;        // a connection was opened
  std::uint32_t firmwareMode = 0; // as the driver reported it (0 without a device)
  bool efuseInUse = false;        // firmware mode 2, or MAC 0x24 bit 31
  bool eepromFileRead = false;    // the image was read from the file at this start
  ConfigMemoryBackEnd backEnd = ConfigMemoryBackEnd::Eeprom;
};

// The device part of the program's start-up, in order: open the device,
// query the firmware mode, choose the configuration memory (eFuse when the
// firmware mode's low bits are 2 or MAC 0x24 bit 31 is set; then a usable
// "eeprom.bin" (image_file.h) takes precedence as the in-memory image;
// without it the user is told "EEPROM File not found!Read from eFuse...",
// and a file of the wrong size is named with its size), read the chip
// identity from MAC 0x0000, and fill the channel tables, descriptor sizes
// and eFuse geometry. No device is not an error: the flags stay clear and
// the identity 0. Fills the device's identity, the configuration-memory mode
// and the channel state. UI thread, before any page exists.
StartupReport RunDeviceStartup(DeviceContext& device, ConfigMemoryMode& memoryMode,
                               ChannelState& channels, const StartupOptions& options = {});

}  // namespace kqa::device
