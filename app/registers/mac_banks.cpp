#include "app/registers/mac_banks.h"

#include <array>

namespace kqa::registers {

std::span<const MemoryBank> MacMemoryBanks() {
  static constexpr std::array<MemoryBank, 6> kBanks = {{
      {"SYS Register          (BaseAddr::0x0000) ", 0x0000, 512},
      {"DMA Register          (BaseAddr::0x0200) ", 0x0200, 512},
      {"MAC Register          (BaseAddr::0x1000) ", 0x1000, 4096},
      {"Program Memory    (BaseAddr::0x2000) ", 0x2000, 8192},
      {"Shared Memory       (BaseAddr::0x4000) ", 0x4000, 8192},
      {"Packet Buffer           (BaseAddr::0x8000) ", 0x8000, 8192},
  }};
  return kBanks;
}

}  // namespace kqa::registers
