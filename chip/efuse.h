#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kqa::chip {

// The chip's 512 bytes of one-time-programmable memory. An unburnt bit reads
// 0; programming burns 1-bits and can never clear one.
//
// Layout: physical block B is bytes 16B..16B+15. The block map is bytes 480
// to 508: map byte 480+B describes block B (0..28). A map byte of 0 is free;
// otherwise bits 0-5 name the logical block L held in B, bit 6 is
// 1^L0^L1^L2^L3 and bit 7 is 1^L2^L3^L4^L5. Burning one more bit of a map
// byte breaks that check and so invalidates the entry.
class Efuse {
 public:
  static constexpr std::size_t kSize = 512;
  static constexpr std::size_t kBlockSize = 16;
  static constexpr std::size_t kMapStart = 480;
  static constexpr std::size_t kMapEnd = 508;  // inclusive
  static constexpr int kMappableBlocks = 29;
  static constexpr int kUnmapped = 63;

  using Content = std::array<std::uint8_t, kSize>;

  Efuse() = default;
  explicit Efuse(const Content& content) : bytes_(content) {}

  const Content& bytes() const { return bytes_; }
  std::uint8_t byte(std::size_t address) const { return address < kSize ? bytes_[address] : 0; }

  // Burns the 1-bits of `bits` into the byte at `address`, except those in
  // `weak` (bits that fail to burn). Returns whether any bit changed.
  bool burn(std::size_t address, std::uint8_t bits, std::uint8_t weak = 0);

  // The physical block holding logical block `logical`, or kUnmapped. Valid
  // entries are searched from block 0 up: the programming algorithm takes
  // free map bytes from the top down, so when an invalidation failed and two
  // valid entries name the same block, the lower (newer) one wins.
  int lookup(int logical) const;

  static std::uint8_t MapByte(int logical);
  // A map entry is valid when its check bits match; 63 is the "unmapped"
  // answer and never a block a valid entry can name.
  static bool IsValidMapByte(std::uint8_t value) {
    return value != 0 && (value & 0x3F) != kUnmapped && MapByte(value & 0x3F) == value;
  }

 private:
  Content bytes_{};
};

}  // namespace kqa::chip
