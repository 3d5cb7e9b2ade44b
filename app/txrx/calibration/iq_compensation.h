#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/shell/page/outcome.h"
#include "app/txrx/chip_registers.h"

namespace kqa::txrx {

// The transmitters' IQ compensation ("IQ Compensation" group): gain and
// phase of Tx0 and Tx1, signed 6-bit values (-32 to 31) written through
// the BBP's indirect pair R158/R159 at indexes 0x60-0x63 (Tx0 gain, Tx0
// phase, Tx1 gain, Tx1 phase); "Enable" writes them, clearing it writes
// zeros (no correction).
//
// The fields are hexadecimal signed bytes: 00-1F are 0 to 31, E0-FF are -32
// to -1, written wrapped by adding 64 (FF is 3F, E0 is 20). The others (20
// to DF) do not fit the chip's six bits and would land on another value,
// so they are refused, naming the field, before anything is written.
class IqCompensation {
 public:
  using Outcome = page::Outcome;
  enum Field { Tx0Gain, Tx0Phase, Tx1Gain, Tx1Phase };
  static constexpr std::uint8_t kFirstIndex = 0x60;

  explicit IqCompensation(ChipRegisters& registers) : registers_(registers) {}

  std::array<std::string, 4> fields{"00", "00", "00", "00"};
  bool enabled = false;

  // "Enable" checked or cleared: the values (or zeros) written.
  Outcome setEnabled(bool on);
  // A spin button: the field moved by `step` within -32 to 31 (E0 to 1F),
  // then written when enabled.
  Outcome spin(Field field, int step);
  // "Calibrate": asks "Tx0Gain = 0x%X,\nTx0Phase = 0x%X\n\nWrite to EEPROM ?";
  // the Kestrel keeps no IQ words in its EEPROM, so neither answer writes.
  Outcome calibrate();

  // The four values as written (after the wrap); false with a message for
  // a bad field.
  bool values(std::array<std::uint8_t, 4>& out);

 private:
  Outcome write();

  ChipRegisters& registers_;
};

}  // namespace kqa::txrx
