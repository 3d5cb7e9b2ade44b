#include "chip/efuse.h"

namespace kqa::chip {

namespace {
int Bit(int value, int n) { return (value >> n) & 1; }
}  // namespace

bool Efuse::burn(std::size_t address, std::uint8_t bits, std::uint8_t weak) {
  if (address >= kSize) return false;
  const auto burnt = static_cast<std::uint8_t>(bytes_[address] | (bits & ~weak));
  if (burnt == bytes_[address]) return false;
  bytes_[address] = burnt;
  return true;
}

int Efuse::lookup(int logical) const {
  for (int block = 0; block < kMappableBlocks; ++block) {
    const std::uint8_t entry = bytes_[kMapStart + static_cast<std::size_t>(block)];
    if (IsValidMapByte(entry) && (entry & 0x3F) == logical) return block;
  }
  return kUnmapped;
}

std::uint8_t Efuse::MapByte(int logical) {
  const int l = logical & 0x3F;
  const int bit6 = 1 ^ Bit(l, 0) ^ Bit(l, 1) ^ Bit(l, 2) ^ Bit(l, 3);
  const int bit7 = 1 ^ Bit(l, 2) ^ Bit(l, 3) ^ Bit(l, 4) ^ Bit(l, 5);
  return static_cast<std::uint8_t>(l | bit6 << 6 | bit7 << 7);
}

}  // namespace kqa::chip
