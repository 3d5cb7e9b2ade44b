#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kqa::chip {

// The external NOR flash: 4 MB in 64 sectors of 64 KB (the flash page's
// "blocks": erasing at block n x 0x10000 erases sector n). Erased bytes read
// 0xFF; programming can only clear bits (new = old AND data), so a second
// program over unerased data gives the AND of both. Addresses are checked by
// the caller against kSize.
class NorFlash {
 public:
  static constexpr std::size_t kSectorSize = 0x10000;
  static constexpr std::size_t kSectors = 64;
  static constexpr std::size_t kSize = kSectorSize * kSectors;

  NorFlash() : bytes_(kSize, 0xFF) {}

  static bool Fits(std::size_t address, std::size_t length) {
    return address <= kSize && length <= kSize - address;
  }

  void read(std::size_t address, std::span<std::uint8_t> out) const;
  void program(std::size_t address, std::span<const std::uint8_t> data);
  void eraseSector(std::size_t sector);
  void eraseChip();

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  // Replaces the whole content (loading saved state).
  void assign(std::vector<std::uint8_t> bytes);

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace kqa::chip
