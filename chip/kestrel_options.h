#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "chip/radio/radio_options.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// Where the board keeps its configuration: in the external EEPROM (its eFuse
// is blank and MAC 0x24 bit 31 reads 0) or in the eFuse (bit 31 reads 1; the
// external EEPROM is fitted but blank).
enum class Board { Eeprom, Efuse };

// Who completes bulk transfers: the chip's own completion thread, like a host
// controller, or the test, step by step through Kestrel::runUntilIdle().
enum class Completions { Thread, Stepped };

// How long things take. All zero (the default) answers at once; UsbHighSpeed()
// is close to a USB 2.0 high-speed link, for benchmarks that want realistic
// figures. Every wait goes through the chip's Clock.
struct ChipTiming {
  Clock::Duration perControlTransfer{};  // setup, status stage and turnaround
  Clock::Duration perControlByte{};      // data stage, per byte
  Clock::Duration perBulkTransfer{};
  Clock::Duration perBulkByte{};
  Clock::Duration bbpCommand{};      // busy time of a BBP command (MAC 0x101C)
  Clock::Duration rfCommand{};       // busy time of an RF command (MAC 0x0500)
  Clock::Duration rfSerialWord{};    // shifting one RF serial word (MAC 0x1020)
  Clock::Duration efuseRead{};       // eFuse logical or physical read
  Clock::Duration efuseProgram{};    // burning one 16-byte eFuse block

  static ChipTiming Immediate() { return {}; }
  static ChipTiming UsbHighSpeed();
};

struct KestrelOptions {
  Board board = Board::Eeprom;
  std::uint16_t revision = 0;  // low half of the identity at MAC 0x0000 (0x5EC7rrrr)
  // Where EEPROM, eFuse and flash persist; empty keeps them in memory only.
  std::filesystem::path stateFile{};
  // Picks the board's serial number (the low three bytes of its MAC address)
  // and every random draw of the radio: the same seed, the same air.
  std::uint32_t seed = 1;
  ChipTiming timing{};
  Completions completions = Completions::Thread;
  // Start from this content instead of the factory image (ignored when the
  // state file exists, which always wins). The EEPROM content may be shorter
  // than the part; the rest reads 0xFF.
  std::optional<std::array<std::uint8_t, 512>> efuseContent = std::nullopt;
  std::optional<std::vector<std::uint8_t>> eepromContent = std::nullopt;
  // The radio: its environment and the part's analog errors.
  RadioOptions radio{};
};

}  // namespace kqa::chip
