#include "chip/eeprom.h"

#include <algorithm>

namespace kqa::chip {

Eeprom::Eeprom(std::span<const std::uint8_t> content) : Eeprom() {
  std::copy_n(content.begin(), std::min(content.size(), kSize), bytes_.begin());
}

std::uint16_t Eeprom::readWord(std::size_t offset) const {
  return static_cast<std::uint16_t>(bytes_.at(offset) | bytes_.at(offset + 1) << 8);
}

bool Eeprom::writeWord(std::size_t offset, std::uint16_t value) {
  const auto low = static_cast<std::uint8_t>(value);
  const auto high = static_cast<std::uint8_t>(value >> 8);
  const bool changed = bytes_.at(offset) != low || bytes_.at(offset + 1) != high;
  bytes_[offset] = low;
  bytes_[offset + 1] = high;
  return changed;
}

}  // namespace kqa::chip
