#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "app/device/config_memory_mode.h"

namespace kqa::device {

// The configuration memory (512 bytes of logical content, little-endian
// words) lives in one of three back ends, chosen by the mode's flags at each
// call (config_memory_mode.h): the in-memory image (bufferMode), the eFuse
// (efuseMode), or the external EEPROM through the driver (neither).
enum class ConfigMemoryBackEnd { Eeprom, Efuse, Buffer };

ConfigMemoryBackEnd ActiveBackEnd(const ConfigMemoryMode& mode);
// "EEPROM", "eFuse" or "buffer".
std::string_view BackEndName(ConfigMemoryBackEnd backEnd);
// Sets the two flags for `backEnd`.
void SelectBackEnd(ConfigMemoryMode& mode, ConfigMemoryBackEnd backEnd);

enum class NvmResult {
  Ok,
  NoDevice,   // no connection could be opened; nothing was touched
  Cancelled,  // the user declined the eFuse write question
  Failed,     // the failure has been shown through the prompt
};

// The four transfers. Each first makes sure a connection is open (and
// returns NoDevice without a word when none can be), then routes the access:
//  - buffer: copies to or from eepromImage (refused past eepromImageSize,
//    the bytes its file held);
//  - eFuse: logical eFuse reads (unmapped words read 0xFFFF); a write is
//    planned whole first (efuse_plan.h) and refused, burning nothing, when
//    the free blocks cannot hold it ("eFuse write refused: ..."); otherwise
//    it asks "Free block before write=..., are you sure to write?" with the
//    plan's exact count afterwards (unless efuseWriteNoConfirm is set), then
//    programs and verifies (eFuse writes stay within the 512 logical bytes);
//  - EEPROM: control codes 0x223490 / 0x223494.
// A failure is shown ("DeviceIoControl failed!  Error = %d", or why the
// eFuse write failed) and reported as Failed. Reads never write past the
// destination; word-wise back ends keep the byte after an odd-length write.
NvmResult ReadEepromWord(ConfigMemory memory, std::uint16_t offset, std::uint16_t& value);
NvmResult ReadEepromBlock(ConfigMemory memory, std::uint16_t offset,
                          std::span<std::uint8_t> destination);
NvmResult WriteEepromWord(ConfigMemory memory, std::uint16_t offset, std::uint16_t value);
// Refuses more than 512 bytes with "Maximum size must <= 512".
NvmResult WriteEepromBlock(ConfigMemory memory, std::uint16_t offset,
                           std::span<const std::uint8_t> data);

// Copies between the caller and eepromImage; false (nothing copied) when the
// range reaches past the image.
bool ReadImage(const ConfigMemoryMode& mode, std::uint16_t offset,
               std::span<std::uint8_t> destination);
bool WriteImage(ConfigMemoryMode& mode, std::uint16_t offset, std::span<const std::uint8_t> source);

}  // namespace kqa::device
