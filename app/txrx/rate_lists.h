#pragma once

#include <span>
#include <string_view>

namespace kqa::txrx {

// The PHY modes of the "Mode" list, in list order.
enum PhyMode : int { kCck = 0, kOfdm = 1, kHtMixed = 2, kHtGreenfield = 3 };
inline constexpr int kModeCount = 4;

inline bool IsHtMode(int mode) { return mode == kHtMixed || mode == kHtGreenfield; }

// " CCK", " OFDM", "HT MixMode", "HT GreenField".
std::span<const std::string_view> ModeNames();
// The "Rate" list of a mode ("MCS=3;  LP 11 Mbps", ...).
std::span<const std::string_view> RateNames(int mode);
// The rate a mode change selects: 3 for CCK, 7 otherwise.
int DefaultRateIndex(int mode);
// The descriptor's MCS for a rate list entry: CCK entries 4-7 are the short
// preamble's MCS 12-15, HT entry 16 is MCS 32; otherwise the index itself.
int McsOf(int mode, int rateIndex);
// True when `mode` and `rateIndex` name an entry of the lists.
bool IsValidRate(int mode, int rateIndex);

}  // namespace kqa::txrx
