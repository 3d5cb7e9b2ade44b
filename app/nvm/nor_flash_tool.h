#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/device/device_context.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"

namespace kqa::nvm {

// The flash is programmed and read in units of 4 KB; an erase takes a 64 KB
// block (block n starts at n x 0x10000).
inline constexpr std::size_t kFlashUnit = 4096;
inline constexpr std::uint32_t kFlashBlock = 0x10000;
// The board's flash holds 4 MB: units 0 to 1023, blocks 0 to 3F. The page
// refuses anything past it rather than send it to the chip.
inline constexpr std::size_t kFlashSize = 0x400000;
inline constexpr std::uint32_t kFlashUnits = kFlashSize / kFlashUnit;
inline constexpr std::uint32_t kFlashBlocks = kFlashSize / kFlashBlock;

enum class FlashWidth { Bits8, Bits8Or16 };

// Everything the NOR-Flash page does, without the widgets: erasing blocks,
// the whole chip, programming the flash from a ".bin" image and saving it to
// one, and the hidden controls' requests (flash width, firmware source,
// soft disconnect). Each request goes through CallDevice and is reported in
// the page's own words; a long operation stops at its first failed request
// (one message, naming the block or unit), and the closing "... OK!" is
// shown only when everything went through.
class NorFlashTool {
 public:
  using Outcome = page::Outcome;

  explicit NorFlashTool(device::DeviceContext& device);

  std::string blockText = "0000";    // "BlockNo.-16": hexadecimal
  std::string countText = "64";      // "TotalBlockNo-10": decimal
  std::string sizeText = "8";        // flash size in 4 KB units: decimal
  std::string addressText = "0000";  // "Addr." (hidden): hexadecimal
  // The three bars: erase, load, save (blocks or units done of all).
  page::Progress eraseProgress;
  page::Progress loadProgress;
  page::Progress saveProgress;

  Outcome eraseBlock();      // "Erase /  B": block x 0x10000
  Outcome eraseBlocks();     // "Erase All / B" (and "EraseAll / A"): blocks 0 to count - 1
  Outcome eraseAtAddress();  // "Erase / A": the address as given
  Outcome eraseChip();       // "Erase Chip"

  // "Load From File" / "Save to File": ask for the file, then loadFrom / saveTo.
  Outcome loadFile();
  Outcome saveFile();
  // Programs `size` units from the file; a file shorter than that is padded
  // with 0xFF (erased flash) and the closing message says so.
  Outcome loadFrom(const std::string& path);
  // Reads `size` units into `path`; the file is replaced only when every
  // unit was read, so a failed read never leaves a partial image behind.
  Outcome saveTo(const std::string& path);

  Outcome selectWidth(FlashWidth width);        // "8 bit flash" / "8/16 bit flash"
  Outcome selectFirmwareSource(bool external);  // "Send" with "External" / "Internal"
  Outcome softDisconnect();                     // "Soft Disconnect"

 private:
  Outcome refuse(const std::string& message);
  // The text of a decimal field, or nullopt with the refusal shown.
  bool decimalField(const char* name, const std::string& text, std::uint32_t& value);
  bool hexField(const char* name, const std::string& text, std::uint32_t& value);
  // "Flash Size" as a unit count the flash holds, or false with the refusal shown.
  bool unitsField(std::uint32_t& units);
  Outcome erase(std::uint32_t argument, const char* failure);
  // Sends a request without output; false with `failure` (a format with one
  // %d for the error) shown when it failed.
  bool send(std::uint32_t code, std::span<const std::uint8_t> input, const std::string& failure);

  device::DeviceContext& device_;
};

}  // namespace kqa::nvm
