#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/registers/mac_banks.h"
#include "app/registers/script/register_script.h"

namespace kqa::registers {

enum class Direction { Read, Write };

// The three 32-bit register windows, by the labels the page shows.
enum class AccessWindow {
  Mac,       // "0x410000": ReadMacRegister / WriteMacRegister
  Sys,       // "0x400000": ReadSysRegister / WriteSysRegister
  Absolute,  // "0x00000000": ReadAbsRegister / WriteAbsRegister
};

// An offset and a value edit with their READ/WRITE choice, as the page's
// controls hold them.
struct RegisterFields {
  std::string offsetText;
  std::string valueText;
  Direction direction = Direction::Read;
};

// Everything the MAC page does, without the widgets: the memory banks and
// their region buffer, single and access-mode register reads and writes,
// register dumps, register files and scripts. Reaches the chip through
// RegisterAccess and the user through the device context's prompt. The page
// widget mirrors its controls into the public fields before a call and back
// after it.
class MacRegisterTool {
 public:
  // Called while a long operation runs (a bank read, a register file),
  // with the words done so far and the total.
  using Progress = std::function<void(std::size_t done, std::size_t total)>;

  explicit MacRegisterTool(device::DeviceContext& device);

  // "Single Read/Write" group: offset from the bank base.
  RegisterFields single{"00000000", "00000000", Direction::Read};
  // "Access Mode" group: the offset is the address itself.
  RegisterFields access{"", "", Direction::Read};
  AccessWindow window = AccessWindow::Sys;

  void setProgress(Progress progress) { progress_ = std::move(progress); }

  // The region buffer the hex view shows: kRegionBufferSize bytes, word i of
  // the bank at byte 4i. It lives as long as the tool.
  std::span<std::uint8_t> regionBuffer() { return region_; }
  std::uint32_t word(std::size_t index) const;

  std::size_t bankIndex() const { return bankIndex_; }
  const MemoryBank& bank() const;
  // Chooses a bank of MacMemoryBanks() and reads it.
  void chooseBank(std::size_t index);
  // "Read ALL": clears the buffer and reads the shown bank word by word.
  // Program memory is read with its enable bit set; 0x3800-0x38FF is never
  // read. Stops at the first read that fails (the rest shows FFFFFFFF), so a
  // vanished chip costs one message, not two thousand.
  void readBank();

  // "R/W" and "R / W". Returns false when a field was refused (the user was
  // told why) and nothing was sent.
  bool singleReadWrite();
  bool accessReadWrite();

  // "Dump Reg": the shown bank, as the buffer holds it now, to a text file.
  void dumpBank();
  // "Load File": writes the file's registers through the "0x410000" window
  // in file order, then reads the bank again.
  void loadRegisterFile();

  // "Load Script": asks for a keyword script and runs it, its log going to
  // `log` (the page's list box). "?": lists the example script in `log`.
  void runScript(ScriptLog& log);
  void showScriptExample(ScriptLog& log);

 private:
  bool readWord(std::uint32_t address, std::uint32_t& value);
  void setWord(std::size_t index, std::uint32_t value);
  // Sets or clears the program-memory enable bit; false when the control
  // register could not be read (it is then left alone).
  bool setProgramMemoryEnabled(bool enabled);
  void report(std::size_t done, std::size_t total) const;

  device::DeviceContext& device_;
  std::vector<std::uint8_t> region_;
  std::size_t bankIndex_ = 0;
  Progress progress_;
};

}  // namespace kqa::registers
