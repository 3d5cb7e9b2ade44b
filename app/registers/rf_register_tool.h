#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/device/device_context.h"
#include "app/registers/register_fields.h"
#include "app/shell/page/log_sink.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"

namespace kqa::registers {

// The two RF pages: page 1 shows R0-R31 of the selected bank, page 2 R32-R63.
enum class RfPage { One = 1, Two = 2 };
inline constexpr int kRfPageRegisters = 32;
constexpr int FirstRegisterOf(RfPage page) {
  return page == RfPage::One ? 0 : kRfPageRegisters;
}
// The page that shows register `reg` (0-63).
constexpr RfPage RfPageOf(int reg) {
  return reg < kRfPageRegisters ? RfPage::One : RfPage::Two;
}

// "  Bank 0: Central" ... "  Bank15: Reserved", the "RF Bank Sel" lists'
// entries; the index is the bank.
std::span<const std::string_view> RfBankNames();

// Loading an RF register file ends, on a Kestrel, by starting the VCO
// calibration: bit 7 of bank 0 R4, then a 5 ms wait.
inline constexpr std::uint8_t kRfVcoRegister = 4;
inline constexpr std::uint8_t kRfVcoCalibrate = 0x80;

// What an RF page does with the registers, without the widgets: the grid of
// the page's 32 registers in the RF bank both pages share (the context's
// settings.rfBank), their bits, the single read/write box, and on page 1 the
// RF register file and the RF script. Reaches the chip through
// RegisterAccess (8-bit RF accesses through MAC 0x0500).
class RfRegisterTool {
 public:
  using Outcome = page::Outcome;

  RfRegisterTool(device::DeviceContext& device, RfPage page);

  // "Register ID" (decimal) and "Value" (hexadecimal) with READ/WRITE.
  RegisterFields single{"", "00", Direction::Read};
  // Reported while a register file is saved or loaded, in registers.
  page::Progress progress;

  RfPage page() const { return page_; }
  int firstRegister() const { return FirstRegisterOf(page_); }
  // The bank both RF pages show.
  int bank() const;
  // The grid: register firstRegister() + i as last read (0 before).
  std::span<const std::uint8_t> values() const { return values_; }
  bool bitShown(int reg, int bit) const;

  // "RF Bank Sel": makes `bank` the shared bank and reads all.
  Outcome chooseBank(int bank);
  // "Read All" (and each activation): the page's 32 registers of the bank.
  // Stops at the first read that fails.
  Outcome readAll();
  // "R / W": register ID decimal, value hexadecimal, each cut to 8 bits; a
  // field that is not a number, or an ID past R63, is refused with a message
  // and nothing is sent. Then reads all.
  Outcome singleReadWrite();
  // A bit button of register `reg` (this page's): clears the bit when the
  // grid shows it set, sets it otherwise, with a read-modify-write of the
  // register in the chip; then reads all, so the grid shows what the chip kept.
  Outcome toggleBit(int reg, int bit);
  // The same with the bit's new state given (kestrelqa-cli's "rf bit").
  Outcome setBit(int reg, int bit, bool set);

  // "Save Rf Regs" / "Load Rf Regs" with their dialogs, and the same on a
  // path. Saving reads banks 0, 4 and 5 (R0-R63 each) first and writes the
  // 192 lines only when every read succeeded. Loading writes the file's
  // lines in order (malformed lines are skipped and named), stops at the
  // first failed write, then on a Kestrel starts the VCO calibration (bank 0
  // R4 bit 7) and waits 5 ms, and reads all.
  Outcome saveRegisterFile();
  Outcome saveRegisterFile(const std::string& path);
  Outcome loadRegisterFile();
  Outcome loadRegisterFile(const std::string& path);
  // RF writes the last load made.
  std::size_t written() const { return written_; }
  // Lines the last load skipped (not a register line).
  std::size_t skipped() const { return skipped_; }

  // "Load Script": asks for an RF script, runs it into `log`, reads all.
  Outcome runScript(page::LogSink& log);

 private:
  bool read(int bank, int reg, std::uint8_t& value);
  bool write(int bank, int reg, std::uint8_t value);
  Outcome failed(const std::string& message);

  device::DeviceContext& device_;
  RfPage page_;
  std::array<std::uint8_t, kRfPageRegisters> values_{};
  std::size_t written_ = 0;
  std::size_t skipped_ = 0;
};

}  // namespace kqa::registers
