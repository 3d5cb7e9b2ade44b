#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "chip/register_space.h"

namespace kqa::chip {

// The chip memories that the MAC space shows through windows, with their bank
// selection in MAC 0x0400:
//
//   0x2000-0x3FFF  program memory, 8 KB, visible while 0x0400 bit 16 is set
//                  (reads 0 and drops writes otherwise)
//   0x3800-0x38FF  a hole in that window: always reads 0x000000EE, drops writes
//   0x4000-0x7FFF  shared memory, two banks of 16 KB: bit 19 selects bank 1
//   0x8000-0xFFFF  packet buffer, two banks of 32 KB: bit 17 selects bank 1
//                  (bit 18 is not decoded: banks 2 and 3 alias 0 and 1)
//
// The contents are volatile: a power cycle clears them.
class MemoryWindows {
 public:
  static constexpr std::uint16_t kBankSelect = 0x0400;
  static constexpr std::uint32_t kProgramMemoryVisible = 1u << 16;
  static constexpr std::uint32_t kPacketBufferBank1 = 1u << 17;
  static constexpr std::uint32_t kSharedMemoryBank1 = 1u << 19;
  static constexpr std::uint32_t kHoleValue = 0x000000EE;

  static constexpr std::uint16_t kProgramBase = 0x2000;
  static constexpr std::uint16_t kHoleFirst = 0x3800;
  static constexpr std::uint16_t kHoleLast = 0x38FC;
  static constexpr std::uint16_t kSharedBase = 0x4000;
  static constexpr std::uint32_t kPacketBase = 0x8000;
  static constexpr std::size_t kProgramWords = 8192 / 4;
  static constexpr std::size_t kSharedWords = 16384 / 4;
  static constexpr std::size_t kPacketWords = 32768 / 4;

  explicit MemoryWindows(RegisterSpace& mac);

  // Maps the windows onto the MAC space (they read the bank selection from
  // its storage at 0x0400).
  void install();
  void reset();

  // The memories themselves, word i at byte 4i of the bank.
  std::vector<std::uint32_t>& programMemory() { return program_; }
  std::vector<std::uint32_t>& sharedMemory(int bank) { return shared_.at(static_cast<std::size_t>(bank)); }
  std::vector<std::uint32_t>& packetBuffer(int bank) { return packet_.at(static_cast<std::size_t>(bank)); }

 private:
  std::uint32_t bankSelect() const { return mac_.stored(kBankSelect); }
  std::uint32_t* wordAt(std::uint16_t address);

  RegisterSpace& mac_;
  std::vector<std::uint32_t> program_ = std::vector<std::uint32_t>(kProgramWords);
  std::array<std::vector<std::uint32_t>, 2> shared_{std::vector<std::uint32_t>(kSharedWords),
                                                   std::vector<std::uint32_t>(kSharedWords)};
  std::array<std::vector<std::uint32_t>, 2> packet_{std::vector<std::uint32_t>(kPacketWords),
                                                   std::vector<std::uint32_t>(kPacketWords)};
};

}  // namespace kqa::chip
