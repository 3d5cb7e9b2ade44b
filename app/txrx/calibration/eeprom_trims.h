#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/shell/page/outcome.h"
#include "app/txrx/radio_control.h"

namespace kqa::txrx {

// The trims the engineer sets on the TX/RX page and stores in the
// configuration memory: TX power per path and channel, the crystal's
// frequency offset and the RSSI offsets, with their spin buttons.
//
// A stored value is written as its EEPROM word (read, the byte replaced,
// written back) through the configuration memory's chosen back end: in
// eFuse mode the write is planned and asked first, and a refused or
// cancelled write burns nothing. A word whose value would not change is
// not written. Values out of range are refused before anything is written
// (the page ignores them without a message).
class EepromTrims {
 public:
  using Outcome = page::Outcome;

  explicit EepromTrims(RadioControl& radio) : radio_(radio) {}

  // The EEPROM byte address of path 0 or 1's power on the current channel.
  std::uint16_t txPowerAddress(int path) const;

  // "Calibrate" under "TX Power0/1 (Hex)": the hex field into the channel's
  // power byte (its low 6 bits). 2.4 GHz takes 00-3F; 5 GHz 00-3F and
  // values that are negative as a signed byte.
  Outcome storeTxPower(int path, const std::string& text);
  // "Calibrate" beside "Freq. Offset (Hex)": the low byte of word 0x3A.
  Outcome storeFrequencyOffset(const std::string& text);
  // "Calibrate" of the RSSI offsets: path 0 and 1 into word 0x46 (0x4A at
  // 5 GHz), path 2 into the low byte of 0x48 (0x4C). A path without a
  // value keeps its stored byte.
  Outcome storeRssiOffsets(const std::array<std::optional<std::string>, 3>& texts);

  // The live settings, as the spin buttons set them: TX0 into MAC 0x13B0
  // bits 0-5, TX1 only into the shared setting, the frequency offset into
  // RF bank 0 R12. Refused outside 00-3F (power) or 00-FF.
  Outcome applyTxPower(int path, const std::string& text);
  Outcome applyFrequencyOffset(const std::string& text);

  // Spin buttons: the field moved by the spin's signed change (the power
  // and RSSI fields count down as the spin goes up, the offset up) and
  // applied; `field` becomes the new "%02X" text. An out-of-range result
  // leaves the field and the chip as they were (Refused, no message).
  Outcome spinTxPower(int path, std::string& field, int step);
  Outcome spinFrequencyOffset(std::string& field, int step);
  static Outcome spinRssiOffset(std::string& field, int step);

  // The word a store changed ("0x46"), for the caller's report; empty when
  // nothing needed writing.
  const std::string& lastWrite() const { return lastWrite_; }

 private:
  Outcome replaceByte(std::uint16_t byteAddress, std::uint8_t value);
  Outcome refuse(const std::string& problem);

  RadioControl& radio_;
  std::string lastWrite_;
};

}  // namespace kqa::txrx
