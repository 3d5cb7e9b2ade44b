#include "app/txrx/rate_lists.h"

#include <array>

namespace kqa::txrx {
namespace {

constexpr std::array<std::string_view, kModeCount> kModes = {" CCK", " OFDM", "HT MixMode",
                                                              "HT GreenField"};

constexpr std::array<std::string_view, 8> kCckRates = {
    "MCS=0;  LP  1 Mbps", "MCS=1;  LP  2 Mbps", "MCS=2;  LP  5.5 Mbps", "MCS=3;  LP 11 Mbps",
    "MCS=8;  SP  1 Mbps", "MCS=9;  SP  2 Mbps", "MCS=10; SP  5.5 Mbps", "MCS=11; SP 11 Mbps",
};

constexpr std::array<std::string_view, 8> kOfdmRates = {
    "MCS=0;  6 Mbps",  "MCS=1;  9 Mbps",  "MCS=2; 12 Mbps", "MCS=3; 18 Mbps",
    "MCS=4; 24 Mbps",  "MCS=5; 36 Mbps",  "MCS=6; 48 Mbps", "MCS=7; 54 Mbps",
};

constexpr std::array<std::string_view, 17> kHtRates = {
    "MCS=0;   6.5 Mbps", "MCS=1;   13 Mbps",  "MCS=2;   19.5Mbps", "MCS=3;   26 Mbps",
    "MCS=4;   39 Mbps",  "MCS=5;   52 Mbps",  "MCS=6;  58.5 Mbps", "MCS=7;   65 Mbps",
    "MCS=8;   13 Mbps",  "MCS=9;   26 Mbps",  "MCS=10;  39 Mbps",  "MCS=11;  52 Mbps",
    "MCS=12;  78 Mbps",  "MCS=13; 104 Mbps",  "MCS=14; 117 Mbps",  "MCS=15; 130 Mbps",
    "MCS=32;   6 Mbps",
};

constexpr int kHtMcs32Entry = 16;

}  // namespace

std::span<const std::string_view> ModeNames() { return kModes; }

std::span<const std::string_view> RateNames(int mode) {
  if (mode == kCck) return kCckRates;
  if (mode == kOfdm) return kOfdmRates;
  return kHtRates;
}

int DefaultRateIndex(int mode) { return mode == kCck ? 3 : 7; }

int McsOf(int mode, int rateIndex) {
  if (mode == kCck) return rateIndex < 4 ? rateIndex : rateIndex + 8;
  if (IsHtMode(mode) && rateIndex == kHtMcs32Entry) return 32;
  return rateIndex;
}

bool IsValidRate(int mode, int rateIndex) {
  return mode >= 0 && mode < kModeCount && rateIndex >= 0 &&
         rateIndex < static_cast<int>(RateNames(mode).size());
}

}  // namespace kqa::txrx
