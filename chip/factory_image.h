#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "chip/efuse.h"
#include "chip/kestrel_options.h"

namespace kqa::chip {

// What a board leaves the factory with. chip/README.md lists the content
// byte by byte.

inline constexpr std::size_t kConfigurationSize = 512;
using Configuration = std::array<std::uint8_t, kConfigurationSize>;

// The board's MAC address: a locally administered address (02:4B:51:...),
// the low three bytes taken from the seed.
std::array<std::uint8_t, 6> FactoryMacAddress(std::uint32_t seed);

// The 512-byte logical configuration (MAC address, paths, LNA gains, TX power
// tables, frequency and RSSI offsets, LED words, ...). The eFuse board is a
// 2.4 GHz, one-TX two-RX design: its 5 GHz fields and second TX table are
// blank (0xFF); the EEPROM board is dual-band with two TX and two RX paths.
Configuration FactoryConfiguration(Board board, std::uint32_t seed);

// The 8 KB EEPROM: for the EEPROM board the configuration, the USB identity
// at 0x208 and the default string area at 0x2F0; blank for the eFuse board.
std::vector<std::uint8_t> FactoryEeprom(Board board, std::uint32_t seed);

// The eFuse: blank for the EEPROM board; for the eFuse board the
// configuration burnt through the block map.
Efuse::Content FactoryEfuse(Board board, std::uint32_t seed);

// Burns a configuration into a blank eFuse as the programming station does:
// each 16-byte logical block that is not all 0xFF goes to the physical block
// of the highest free map byte (508 down), with its map byte. Blocks that do
// not fit are left out.
Efuse::Content BurnConfiguration(std::span<const std::uint8_t, kConfigurationSize> configuration);

}  // namespace kqa::chip
