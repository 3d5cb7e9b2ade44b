#include "chip/baseband/bbp_tables.h"

#include <algorithm>

namespace kqa::chip {

BbpTables::BbpTables(ChipCore& core) : core_(core) {
  reset();
  install(kGainIndex, kGainData, gain_, false);
  install(kFilterIndex, kFilterData, filter_, false);
  install(kPapdIndex, kPapdData, papd_, true);
}

bool BbpTables::reachable(bool gated) const {
  return !gated || core_.bbp().stored(kAccessRegister) == kPapdAccess;
}

void BbpTables::install(std::uint8_t index, std::uint8_t data, Table& table, bool gated) {
  core_.bbp().setHook(data, {[this, index, &table, gated](std::uint8_t id) {
                               if (!reachable(gated)) return core_.bbp().stored(id);
                               return table[core_.bbp().stored(index)];
                             },
                             [this, index, &table, gated](std::uint8_t id, std::uint8_t value) {
                               if (reachable(gated))
                                 table[core_.bbp().stored(index)] = value;
                               else
                                 core_.bbp().store(id, value);
                             }});
}

void BbpTables::reset() {
  for (int i = 0; i < 256; ++i) {
    const auto at = static_cast<std::size_t>(i);
    gain_[at] = static_cast<std::uint8_t>(std::min(2 * i, 0xFE));
    filter_[at] = static_cast<std::uint8_t>(7 * i + 3);
    papd_[at] = static_cast<std::uint8_t>(i);
  }
}

}  // namespace kqa::chip
