#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kqa::registers {

// One memory bank of the MAC page's "USB Memory Bank Switch:" list.
struct MemoryBank {
  std::string_view text;  // as listed, with its trailing blank
  std::uint32_t base;     // first address shown
  std::uint32_t length;   // bytes shown, a multiple of 4
};

// The six banks in list order. The last two show 8192 bytes, as much as the
// page's buffer holds, although their bases lie further apart.
std::span<const MemoryBank> MacMemoryBanks();

inline constexpr std::size_t kRegionBufferSize = 8192;
inline constexpr std::uint32_t kProgramMemoryBase = 0x2000;
inline constexpr std::uint32_t kProgramMemoryEnd = 0x4000;  // one past the last byte

// Program memory 0x3800-0x38FF is never read or written by the page: the
// bank shows it as 0x000000EE.
inline constexpr std::uint32_t kUntouchedWordValue = 0x000000EE;
constexpr bool IsUntouchedAddress(std::uint32_t address) {
  return address >= 0x3800 && address <= 0x38FF;
}

constexpr bool IsProgramMemory(std::uint32_t address) {
  return address >= kProgramMemoryBase && address < kProgramMemoryEnd;
}

// Program memory is reachable only while bit 16 of MAC register 0x0400 is
// set; the page sets it around every program-memory access and clears it after.
inline constexpr std::uint32_t kProgramMemoryControl = 0x0400;
inline constexpr std::uint32_t kProgramMemoryEnable = 1u << 16;

}  // namespace kqa::registers
