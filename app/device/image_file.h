#pragma once

#include <cstddef>
#include <string>

#include "app/device/config_memory_mode.h"

namespace kqa::device {

// The buffer back end's file ("eeprom.bin"): the image is exactly what the
// file holds, never padded and never cut. A file holds at least the 512
// bytes of configuration the pages read and at most the 1024 of the image.
inline constexpr std::size_t kImageFileMinimum = 512;
inline constexpr std::size_t kImageFileMaximum = kEepromImageSize;

// Reads the whole file into the start of eepromImage, sets eepromImageSize
// to its size and eepromFileLoaded. False, with the mode untouched and
// the reason in `problem` (e.g. "the EEPROM image file x.bin holds 10
// bytes; an image holds 512 to 1024 bytes"), when the file cannot be read
// or has another size.
bool LoadEepromImageFile(ConfigMemoryMode& mode, const std::string& path,
                         std::string* problem = nullptr);

// Writes the image (eepromImageSize bytes) back to `path`: to a temporary
// file in the same folder first, then renamed over it, so the file holds
// the old image or the new one, never a mixture. False with the reason in
// `problem` when it cannot.
bool SaveEepromImageFile(const ConfigMemoryMode& mode, const std::string& path,
                         std::string* problem = nullptr);

}  // namespace kqa::device
