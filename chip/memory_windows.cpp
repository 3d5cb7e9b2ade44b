#include "chip/memory_windows.h"

#include <algorithm>

namespace kqa::chip {

MemoryWindows::MemoryWindows(RegisterSpace& mac) : mac_(mac) {}

void MemoryWindows::install() {
  RegisterSpace::Handler memory{
      [this](std::uint16_t address) {
        const std::uint32_t* word = wordAt(address);
        return word != nullptr ? *word : 0u;
      },
      [this](std::uint16_t address, std::uint32_t value) {
        if (std::uint32_t* word = wordAt(address)) *word = value;
      },
      {}};
  mac_.map(kProgramBase, 0xFFFF, memory);
  mac_.map(kHoleFirst, kHoleLast, {[](std::uint16_t) { return kHoleValue; }, [](std::uint16_t, std::uint32_t) {}, {}});
}

std::uint32_t* MemoryWindows::wordAt(std::uint16_t address) {
  const std::uint32_t select = bankSelect();
  if (address >= kPacketBase) {
    auto& bank = packet_[(select & kPacketBufferBank1) != 0 ? 1 : 0];
    return &bank[(address - kPacketBase) / 4];
  }
  if (address >= kSharedBase) {
    auto& bank = shared_[(select & kSharedMemoryBank1) != 0 ? 1 : 0];
    return &bank[(address - kSharedBase) / 4];
  }
  if ((select & kProgramMemoryVisible) == 0) return nullptr;
  return &program_[(address - kProgramBase) / 4];
}

void MemoryWindows::reset() {
  std::fill(program_.begin(), program_.end(), 0u);
  for (auto& bank : shared_) std::fill(bank.begin(), bank.end(), 0u);
  for (auto& bank : packet_) std::fill(bank.begin(), bank.end(), 0u);
}

}  // namespace kqa::chip
