#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "app/device/device_context.h"

namespace kqa::device {

inline constexpr std::size_t kEepromImageSize = 1024;

// How the configuration memory is reached: the in-memory image and the
// back-end flags that route every access (config_memory.h), and the eFuse
// area's geometry. Start-up fills it (startup.h); the NVM pages and the
// command line's "--nvm" change it. UI thread only.
struct ConfigMemoryMode {
  std::array<std::uint8_t, kEepromImageSize> eepromImage{};
  // The bytes of eepromImage the buffer back end serves: all of them, or
  // as many as the image file held (image_file.h).
  std::size_t eepromImageSize = kEepromImageSize;
  bool eepromFileLoaded = false;
  bool bufferMode = false;
  bool efuseMode = false;
  bool efuseWriteNoConfirm = false;
  // The eFuse's block map: map bytes efuseAreaStart..efuseAreaEnd.
  std::uint16_t efuseAreaStart = 0;
  std::uint16_t efuseAreaEnd = 0;
  std::uint16_t efuseAreaSize = 0;
};

// What a configuration-memory operation works on: the device it reaches and
// the mode that routes it. A view, passed by value:
// `ReadEepromWord({device, memoryMode}, 0x34, word)`.
struct ConfigMemory {
  DeviceContext& device;
  ConfigMemoryMode& mode;
};

}  // namespace kqa::device
