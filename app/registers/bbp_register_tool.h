#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/registers/register_fields.h"
#include "app/shell/page/log_sink.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"

namespace kqa::registers {

// The three BBP pages and the registers each shows, in grid order: page 1
// R0-R111, page 2 R112-R136, page 3 R137-R199 and R248-R250.
enum class BbpPage { One = 1, Two = 2, Three = 3 };
std::span<const std::uint8_t> BbpPageRegisters(BbpPage page);

// The tables page 1 dumps, each behind an index and a data register. The
// PAPD table is reached only with R4 = 0x10; the page puts R4 back after.
enum class BbpTable { Papd, Gain, Filter };
struct BbpTableRegisters {
  std::uint8_t index;
  std::uint8_t data;
};
BbpTableRegisters RegistersOf(BbpTable table);
inline constexpr std::uint8_t kBbpTableAccessRegister = 4;
inline constexpr std::uint8_t kBbpPapdAccess = 0x10;
inline constexpr std::size_t kBbpTableSize = 256;

// Everything a BBP page does, without the widgets: the grid of the page's
// registers, the single read/write box, and on page 1 the register-set file,
// the table dumps, the PAPD table write and the BBP script. Reaches the chip
// through RegisterAccess (8-bit BBP accesses through MAC 0x101C) and the user
// through the context's prompt. Actions return a page::Outcome.
class BbpRegisterTool {
 public:
  using Outcome = page::Outcome;

  // The configuration memory gives the receive paths R66 is written to.
  BbpRegisterTool(device::ConfigMemory memory, BbpPage page);

  // "Register ID" (decimal) and "Value" (hexadecimal) with READ/WRITE.
  RegisterFields single{"", "00", Direction::Read};
  // Reported while a register set or table moves, in registers.
  page::Progress progress;

  BbpPage page() const { return page_; }
  std::span<const std::uint8_t> registers() const { return BbpPageRegisters(page_); }
  // The grid, one value per entry of registers(), as last read (0 before).
  std::span<const std::uint8_t> values() const { return values_; }

  // "Read ALL" (and each activation): reads every shown register in grid
  // order. Stops at the first read that fails.
  Outcome readAll();
  // "R/W": the register ID as decimal and the value as hexadecimal, each cut
  // to 8 bits (ID 300 is R44). A field that is not a number is refused with
  // a message naming it, and nothing is sent.
  Outcome singleReadWrite();

  // "Save Bbp Regs" / "Load Bbp Regs" with their dialogs, and the same on a
  // path (kestrelqa-cli). Saving reads R0-R255 and the 49 R195/R196 entries
  // first and writes the file only when every read succeeded; loading writes
  // the file's lines in order (lines that are not "register = value" are
  // skipped and named), stops at the first failed write, then reads all.
  Outcome saveRegisterSet();
  Outcome saveRegisterSet(const std::string& path);
  Outcome loadRegisterSet();
  Outcome loadRegisterSet(const std::string& path);
  // BBP writes the last load made.
  std::size_t written() const { return written_; }
  // Lines the last load skipped (not a register line).
  std::size_t skipped() const { return skipped_; }

  // "Dump" (PAPD), "BBP 184/185", "BBP 195/196": the 256 entries, "0x%02X"
  // a line, written only when every read succeeded.
  Outcome dumpTable(BbpTable table);
  Outcome dumpTable(BbpTable table, const std::string& path);
  // "Write" (PAPD): one value a line, line i to entry i, the index wrapping
  // after 255. A file with a line that is not a byte is refused whole.
  Outcome writePapdTable();
  Outcome writePapdTable(const std::string& path);

  // "Load BBP Script": asks for a BBP script, runs it into `log`, reads all.
  Outcome runScript(page::LogSink& log);

 private:
  bool read(std::uint8_t reg, std::uint8_t& value);
  bool write(std::uint8_t reg, std::uint8_t value);
  // Reads the table's 256 entries; false at the first failed access.
  bool readTable(BbpTable table, std::vector<std::uint8_t>& entries);
  Outcome writeFile(const char* action, const std::string& path, const std::string& text);
  Outcome failed(const std::string& message);

  device::DeviceContext& device_;
  device::ConfigMemoryMode& memoryMode_;
  BbpPage page_;
  std::vector<std::uint8_t> values_;
  std::size_t written_ = 0;
  std::size_t skipped_ = 0;
};

}  // namespace kqa::registers
