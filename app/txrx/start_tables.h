#pragma once

#include <cstdint>
#include <span>

namespace kqa::txrx {

// The register values the TX/RX page writes when it starts and when the
// bandwidth changes: the chip's configuration data for the Kestrel.

struct BbpValue {
  std::uint8_t id;
  std::uint8_t value;
};

// Written through BBP R195 (index) and R196 (value).
struct BbpIndirectValue {
  std::uint8_t index;
  std::uint8_t value;
};

struct RfValue {
  std::uint8_t bank;
  std::uint8_t reg;
  std::uint8_t value;
};

// 31 BBP registers, in the order they are written.
std::span<const BbpValue> BbpDirectTable();
// 47 indirect BBP values.
std::span<const BbpIndirectValue> BbpIndirectTable();
// The finishing values: direct registers first, then indirect ones.
std::span<const BbpValue> BbpFinishingDirect();
std::span<const BbpIndirectValue> BbpFinishingIndirect();
// The per-bandwidth indirect values (index 0: 20 MHz, 1: 40 MHz).
std::span<const BbpIndirectValue> BandwidthTable(bool wide);
// 168 RF registers: bank 0 R0-R43, bank 4 R0-R49 and R54-R63, bank 5 R0-R63.
std::span<const RfValue> RfStartTable();

}  // namespace kqa::txrx
