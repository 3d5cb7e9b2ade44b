#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "app/device/config_memory.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/nvm/efuse_burn.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"

namespace kqa::nvm {

// The configuration space the EEPROM pages work on.
inline constexpr std::size_t kNvmSpace = 1024;

// How the eFuse is shown in eFuse mode: its 512 logical bytes through the
// block map, or its physical bytes (blocks and map as they are burnt).
enum class EfuseView { Logical, Physical };

// The configuration memory as the EEPROM pages reach it: the back end the
// context's flags choose at each call (buffer image, eFuse, external
// EEPROM), and in eFuse mode the logical or the physical view. The one
// place of the pages that reads the back-end flags.
//
// Reads and writes stay within the memory: a range past it is refused with
// a message naming the offset, the count and the size, before anything is
// read or written. eFuse writes are planned whole (efuse_burn.h); the
// physical view is for reading only.
class NvmAccess {
 public:
  using Outcome = page::Outcome;

  explicit NvmAccess(device::ConfigMemory memory) : device_(memory.device), mode_(memory.mode) {}

  device::DeviceContext& device() { return device_; }
  device::ConfigMemory memory() { return {device_, mode_}; }
  device::ConfigMemoryBackEnd backEnd() const { return device::ActiveBackEnd(mode_); }
  bool onEfuse() const { return backEnd() == device::ConfigMemoryBackEnd::Efuse; }

  EfuseView view = EfuseView::Logical;

  // The page's mode switches: "eFuse Mode", "EEPROM Buffer Mode" (which
  // wins over the eFuse) and "Disable Write Warning".
  bool efuseMode() const { return mode_.efuseMode; }
  void setEfuseMode(bool on) { mode_.efuseMode = on; }
  bool bufferMode() const { return mode_.bufferMode; }
  void setBufferMode(bool on) { mode_.bufferMode = on; }
  bool writeWarningDisabled() const { return mode_.efuseWriteNoConfirm; }
  void setWriteWarningDisabled(bool on) { mode_.efuseWriteNoConfirm = on; }
  // The eFuse's physical blocks (efuseAreaSize, 29).
  int efuseBlocks() const { return mode_.efuseAreaSize; }

  // The bytes from offset 0 that reads may reach: the image file's bytes in
  // buffer mode, otherwise the pages' 1024.
  std::size_t readableSize() const;
  // The bytes writes may reach: the image's in buffer mode, the 512 logical
  // bytes of the eFuse, the pages' 1024 of the EEPROM.
  std::size_t writableSize() const;
  // The memory as messages name it: "EEPROM image", "eFuse", "EEPROM".
  std::string_view memoryName() const;

  // False, with the message shown, when [offset, offset + count) passes `size`.
  bool fits(std::size_t offset, std::size_t count, std::size_t size);

  Outcome read(std::uint16_t offset, std::span<std::uint8_t> out);
  // Writes through the back end; the eFuse's logical writes are planned,
  // asked about as `question` says, burnt and verified. `progress` hears
  // the blocks (eFuse) or 64-byte pieces (EEPROM) written.
  Outcome write(std::uint16_t offset, std::span<const std::uint8_t> data, EfuseQuestion question,
                const page::Progress& progress = {});

 private:
  device::DeviceContext& device_;
  device::ConfigMemoryMode& mode_;
};

// A configuration-memory transfer's result as a page outcome.
page::Outcome OutcomeOf(device::NvmResult result);

}  // namespace kqa::nvm
