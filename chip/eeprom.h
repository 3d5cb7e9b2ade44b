#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kqa::chip {

// The external serial EEPROM: 8 KB, byte-addressed, read and written a 16-bit
// little-endian word at a time (the word at offset x is bytes x and x+1, for
// odd x too). Blank bytes read 0xFF.
class Eeprom {
 public:
  static constexpr std::size_t kSize = 8192;

  Eeprom() : bytes_(kSize, 0xFF) {}
  // Content shorter than the part leaves the rest blank; longer is cut.
  explicit Eeprom(std::span<const std::uint8_t> content);

  static bool WordFits(std::size_t offset) { return offset + 2 <= kSize; }
  std::uint16_t readWord(std::size_t offset) const;
  // Returns whether the content changed.
  bool writeWord(std::size_t offset, std::uint16_t value);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace kqa::chip
