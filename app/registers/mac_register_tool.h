#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "app/device/device_context.h"
#include "app/registers/mac_banks.h"
#include "app/registers/register_fields.h"
#include "app/registers/register_window.h"
#include "app/shell/page/log_sink.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"

namespace kqa::registers {

// Everything the MAC page does, without the widgets: the memory banks and
// their region buffer, single and access-mode register reads and writes,
// register dumps, register files and scripts. Reaches the chip through
// RegisterAccess and the user through the device context's prompt. The page
// widget mirrors its controls into the public fields before a call and back
// after it. Actions return a page::Outcome (app/shell/page/outcome.h).
class MacRegisterTool {
 public:
  using Outcome = page::Outcome;

  explicit MacRegisterTool(device::DeviceContext& device);

  // "Single Read/Write" group: offset from the bank base.
  RegisterFields single{"00000000", "00000000", Direction::Read};
  // "Access Mode" group: the offset is the address itself.
  RegisterFields access{"", "", Direction::Read};
  RegisterWindow window = RegisterWindow::Sys;
  // Reported while a bank is read or a register file written, in words.
  page::Progress progress;

  // The region buffer the hex view shows: kRegionBufferSize bytes, word i of
  // the bank at byte 4i. It lives as long as the tool.
  std::span<std::uint8_t> regionBuffer() { return region_; }
  std::uint32_t word(std::size_t index) const;

  std::size_t bankIndex() const { return bankIndex_; }
  const MemoryBank& bank() const;
  // Chooses a bank of MacMemoryBanks() and reads it.
  Outcome chooseBank(std::size_t index);
  // "Read ALL": clears the buffer and reads the shown bank word by word.
  // Program memory is read with its enable bit set; 0x3800-0x38FF is never
  // read. Stops at the first read that fails (the rest shows FFFFFFFF), so a
  // vanished chip costs one message, not two thousand.
  Outcome readBank();

  // "R/W" and "R / W": Refused, with the reason shown, when a field is not
  // hexadecimal; nothing is sent then.
  Outcome singleReadWrite();
  Outcome accessReadWrite();

  // "Dump Reg": the shown bank, as the buffer holds it now, to a text file.
  Outcome dumpBank();
  // "Load File": writes the file's registers through the "0x410000" window
  // in file order, then reads the bank again.
  Outcome loadRegisterFile();

  // "Load Script": asks for a keyword script and runs it into `log` (the
  // page's list box). "?": lists the example script in `log`.
  Outcome runScript(page::LogSink& log);
  void showScriptExample(page::LogSink& log);

 private:
  // Sets or clears the program-memory enable bit; false when the control
  // register could not be read (it is then left alone).
  bool setProgramMemoryEnabled(bool enabled);
  Outcome refuseField(const char* name, const std::string& text);

  device::DeviceContext& device_;
  std::vector<std::uint8_t> region_;
  std::size_t bankIndex_ = 0;
};

}  // namespace kqa::registers
