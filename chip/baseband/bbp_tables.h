#pragma once

#include <array>
#include <cstdint>

#include "chip/chip_core.h"

namespace kqa::chip {

// Three 256-byte tables of the baseband, each behind an index register and a
// data register: a data read answers the entry the index register holds, a
// data write stores it there.
//   - R184 / R185: the receive gain table;
//   - R195 / R196: the transmit filter table;
//   - R187 / R188: the PAPD table, reachable only while R4 holds 0x10 (the
//     table-access setting); otherwise R188 is a plain register.
// Power-on: gain entry i = 2i (saturating at 0xFE), filter entry i = the
// low byte of 7i + 3, PAPD entry i = i.
class BbpTables {
 public:
  static constexpr std::uint8_t kGainIndex = 184;
  static constexpr std::uint8_t kGainData = 185;
  static constexpr std::uint8_t kPapdIndex = 187;
  static constexpr std::uint8_t kPapdData = 188;
  static constexpr std::uint8_t kFilterIndex = 195;
  static constexpr std::uint8_t kFilterData = 196;
  static constexpr std::uint8_t kAccessRegister = 4;
  static constexpr std::uint8_t kPapdAccess = 0x10;

  using Table = std::array<std::uint8_t, 256>;

  explicit BbpTables(ChipCore& core);

  const Table& gain() const { return gain_; }
  const Table& filter() const { return filter_; }
  const Table& papd() const { return papd_; }
  void reset();

 private:
  void install(std::uint8_t index, std::uint8_t data, Table& table, bool gated);
  bool reachable(bool gated) const;

  ChipCore& core_;
  Table gain_{};
  Table filter_{};
  Table papd_{};
};

}  // namespace kqa::chip
