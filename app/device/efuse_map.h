#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kqa::device {

class EfuseController;

// The eFuse's block map as the host sees it: map byte efuseAreaStart + B
// belongs to physical block B, and 0x00 marks a free block. The map is read
// a 16-bit word at a time, so the words from efuseAreaStart and
// efuseAreaEnd rounded down to even are held; the byte before an odd start
// and the one after an even end are not part of the map.
//
// Plain data: the free count and the next free block are worked out here,
// so that a write can be planned on a copy of the map before anything is
// burnt.
class EfuseMap {
 public:
  // Reads the map words (where the controller's mapStart() and mapEnd() say);
  // nullopt when a register access failed.
  static std::optional<EfuseMap> Read(EfuseController& efuse);
  // A map with the given bytes, from (start & ~1) on: for tests and plans.
  EfuseMap(std::uint16_t start, std::uint16_t end, std::vector<std::uint8_t> bytes);

  // Free blocks: the span from the first to the last free map byte
  // (0 when there is none).
  int freeCount() const;
  // The block a new logical block takes: free map bytes are taken from the
  // top of the map down, the higher byte of each word first.
  std::optional<std::uint8_t> nextFree() const;

  std::uint8_t byteOf(std::uint8_t block) const;
  void setByte(std::uint8_t block, std::uint8_t value);
  // The eFuse address of a block's map byte.
  std::uint16_t addressOf(std::uint8_t block) const {
    return static_cast<std::uint16_t>(start_ + block);
  }

 private:
  std::uint8_t at(int address) const { return bytes_[static_cast<std::size_t>(address - base_)]; }

  int start_;
  int end_;
  int base_;  // start_ rounded down to even: the address of bytes_[0]
  std::vector<std::uint8_t> bytes_;
};

}  // namespace kqa::device
