#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/device/efuse_plan.h"
#include "app/nvm/led_settings.h"
#include "app/nvm/nvm_access.h"
#include "app/nvm/nvm_image.h"
#include "app/registers/register_fields.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"

namespace kqa::nvm {

// Everything the EEPROM page does, without the widgets: byte and block reads
// and writes, Read All, ".bin" images (configuration, physical view, RAW
// 8 KB) saved and loaded, the MAC address, the LED words, and the mode
// switches. The page mirrors its controls into the public fields before a
// call and back after it; kestrelqa-cli calls the same methods.
//
// Every eFuse write is planned whole before the first bit (efuse_burn.h):
// what the free blocks cannot hold is refused with " eFuse write fail
// (overflow)!, ..." and burns nothing; the question shows the exact count.
class EepromTool {
 public:
  using Outcome = page::Outcome;

  explicit EepromTool(device::ConfigMemory memory);

  // "R/W": READ or WRITE, one byte ("Value-Mode") or a block of the page
  // buffer; offset hexadecimal, length decimal, value one hex byte.
  registers::Direction direction = registers::Direction::Read;
  bool valueMode = true;
  std::string offsetText = "0000";
  std::string lengthText = "0000";
  std::string valueText = "00";
  // "MAC Addr.": 12 hexadecimal digits.
  std::string macText;
  // "RAW Read/Write": Save As and Load File move the external EEPROM's
  // 8 KB through its second path instead.
  bool rawMode = false;
  // "Keep Current TxPower": a load keeps the bytes of KeptByTxPower().
  bool keepTxPower = false;
  // "High or Low Active" (none until chosen) and the twelve LED combos.
  std::optional<LedActive> ledActive;
  LedSelections leds;
  // Hears long work: Read All, loads and saves, eFuse burns.
  page::Progress progress;

  NvmAccess& access() { return access_; }
  // The page buffer: 1024 bytes, the memory from offset 0 as last read; the
  // hex view shows (and edits) the first 512. It lives as long as the tool.
  std::span<std::uint8_t> pageBuffer() { return buffer_; }

  // The page becoming active: the free blocks, the MAC address, the LED
  // combos (once a level is chosen), Read All.
  Outcome activate();
  // "Read ALL": the memory from offset 0 into the page buffer (an image
  // file shorter than 1024 bytes leaves the rest 0xFF).
  Outcome readAll();
  Outcome readWrite();

  // "Save As..." / "Load File": ask for the file, then saveTo / loadFrom.
  Outcome saveAs();
  Outcome loadFile();
  // Saves the memory (or, in RAW mode, the EEPROM's 8 KB) to `path`; the
  // file is replaced whole once everything was read, never with a part.
  Outcome saveTo(const std::string& path);
  // Loads the first 512 bytes of `path` (RAW: 8192). A shorter file is
  // refused, naming both lengths. On the eFuse the whole image is planned
  // first: a change it cannot hold is refused with the overflow message.
  Outcome loadFrom(const std::string& path);
  // What loading `path` into the eFuse (logical view) would burn, with the
  // kept bytes as set; burns nothing.
  Outcome planEfuseLoad(const std::string& path, device::EfuseWritePlan& plan);

  // "Set" (MAC): exactly 12 hex digits, else refused before anything is written.
  Outcome readMac();
  Outcome setMac();

  // The three LED words as the memory holds them.
  Outcome readLedWords(LedWords& words);
  // A level chosen in "High or Low Active": the combos decode the words.
  Outcome chooseLedActive(LedActive active);
  // "Set" (LED): the words with the combos encoded into them.
  Outcome setLeds();

  // The mode switches; each but the last reads the memory again.
  Outcome setEfuseMode(bool on);
  Outcome setBufferMode(bool on);
  void setWriteWarningDisabled(bool on) { access_.setWriteWarningDisabled(on); }
  Outcome setView(EfuseView view);

  // "Check": the eFuse's free blocks, shown as "%d / %d".
  void refreshFreeBlocks();
  int freeBlocks() const { return freeBlocks_; }
  std::string freeBlockText() const;
  // "E-fuse" or "EEPROM".
  std::string nvmType() const;

 private:
  Outcome refuse(const std::string& message);
  Outcome refuseHex(const char* field, const std::string& text);
  Outcome singleByte(std::uint16_t offset);
  Outcome block(std::uint16_t offset);
  // The image a load writes: the file's first 512 bytes with the kept bytes
  // from the memory; Refused/Failed with the reason shown.
  Outcome loadTarget(const std::string& path, std::vector<std::uint8_t>& target);
  Outcome saveRaw(const std::string& path);
  Outcome loadRaw(const std::string& path);
  // Writes through the back end, then refreshes the free blocks.
  Outcome write(std::uint16_t offset, std::span<const std::uint8_t> data, EfuseQuestion question);

  device::DeviceContext& device_;
  NvmAccess access_;
  std::vector<std::uint8_t> buffer_;
  int freeBlocks_ = 0;
};

}  // namespace kqa::nvm
