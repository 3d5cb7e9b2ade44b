#include "chip/radio/phy_rate.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>

namespace kqa::chip {

namespace {

constexpr std::array<double, 4> kCckMbps{1.0, 2.0, 5.5, 11.0};
constexpr std::array<double, 8> kOfdmMbps{6, 9, 12, 18, 24, 36, 48, 54};
constexpr std::array<int, 8> kOfdmBitsPerSymbol{24, 36, 48, 72, 96, 144, 192, 216};
constexpr std::array<int, 8> kHtBitsPerSymbol20{26, 52, 78, 104, 156, 208, 234, 260};
constexpr std::array<int, 8> kHtBitsPerSymbol40{54, 108, 162, 216, 324, 432, 486, 540};
constexpr std::array<double, 4> kCckSnr{1.0, 4.0, 6.0, 9.0};
constexpr std::array<double, 8> kOfdmSnr{5, 6, 8, 10, 13, 17, 21, 23};
constexpr std::array<double, 8> kHtSnr{5, 8, 10, 13, 17, 21, 23, 25};
constexpr std::array<std::uint8_t, 8> kSignalRate{0xB, 0xF, 0xA, 0xE, 0x9, 0xD, 0x8, 0xC};

int HtBitsPerSymbol(const PhyRate& rate) {
  if (rate.mcs == 32) return 24;
  const auto& table = rate.wide ? kHtBitsPerSymbol40 : kHtBitsPerSymbol20;
  return table[rate.mcs & 7] * rate.spatialStreams();
}

}  // namespace

std::uint8_t PhyRate::reportedMcs() const {
  switch (mode) {
    case PhyMode::Cck: return static_cast<std::uint8_t>(mcs & 0x0B);
    case PhyMode::Ofdm: return static_cast<std::uint8_t>(mcs & 0x07);
    default: return static_cast<std::uint8_t>(mcs & 0x7F);
  }
}

double RateMbps(const PhyRate& rate) {
  switch (rate.mode) {
    case PhyMode::Cck: return kCckMbps[rate.mcs & 3];
    case PhyMode::Ofdm: return kOfdmMbps[rate.mcs & 7];
    default: {
      const double symbol = rate.shortGi ? 3.6 : 4.0;
      return (rate.mcs == 32 || rate.mcs <= 15) ? HtBitsPerSymbol(rate) / symbol : 0.0;
    }
  }
}

double RequiredSnrDb(const PhyRate& rate) {
  switch (rate.mode) {
    case PhyMode::Cck: return kCckSnr[rate.mcs & 3];
    case PhyMode::Ofdm: return kOfdmSnr[rate.mcs & 7];
    default:
      if (rate.mcs == 32) return 4.0;
      return kHtSnr[rate.mcs & 7] + (rate.spatialStreams() == 2 ? 3.0 : 0.0) + (rate.wide ? 3.0 : 0.0);
  }
}

Clock::Duration AirTime(const PhyRate& rate, std::size_t mpduBytes) {
  using std::chrono::nanoseconds;
  const double bits = 8.0 * static_cast<double>(mpduBytes + 4);
  if (rate.mode == PhyMode::Cck) {
    const double preambleUs = (rate.mcs & 0x08) != 0 ? 96.0 : 192.0;
    const double us = preambleUs + std::ceil(bits / kCckMbps[rate.mcs & 3]);
    return nanoseconds(static_cast<std::int64_t>(us * 1000.0));
  }
  const double serviceAndTail = 16.0 + 6.0;
  if (rate.mode == PhyMode::Ofdm) {
    const double symbols = std::ceil((bits + serviceAndTail) / kOfdmBitsPerSymbol[rate.mcs & 7]);
    return nanoseconds(static_cast<std::int64_t>((20.0 + 4.0 * symbols) * 1000.0));
  }
  const double preambleUs = (rate.mode == PhyMode::HtMixed ? 32.0 : 24.0) + 4.0 * rate.spatialStreams();
  const double symbols = std::ceil((bits + serviceAndTail) / HtBitsPerSymbol(rate));
  const double symbolUs = rate.shortGi ? 3.6 : 4.0;
  return nanoseconds(static_cast<std::int64_t>((preambleUs + symbolUs * symbols) * 1000.0));
}

std::uint8_t OfdmSignalRate(std::uint8_t mcs) { return kSignalRate[mcs & 7]; }

std::optional<PhyRate> ParsePhyRate(std::string_view name) {
  auto dash = name.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::string_view kind = name.substr(0, dash);
  std::string_view value = name.substr(dash + 1);
  if (kind == "cck") {
    bool shortPreamble = false;
    if (!value.empty() && value.back() == 's') {
      shortPreamble = true;
      value.remove_suffix(1);
    }
    for (std::uint8_t i = 0; i < kCckMbps.size(); ++i) {
      static constexpr std::array<std::string_view, 4> kNames{"1", "2", "5.5", "11"};
      if (value == kNames[i]) {
        if (shortPreamble && i == 0) return std::nullopt;  // 1 Mbps has the long preamble only
        return PhyRate{PhyMode::Cck, static_cast<std::uint8_t>(i | (shortPreamble ? 8 : 0))};
      }
    }
    return std::nullopt;
  }
  int number = -1;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size()) return std::nullopt;
  if (kind == "ofdm") {
    for (std::uint8_t i = 0; i < kOfdmMbps.size(); ++i)
      if (kOfdmMbps[i] == number) return PhyRate{PhyMode::Ofdm, i};
    return std::nullopt;
  }
  if (kind == "ht" && ((number >= 0 && number <= 15) || number == 32)) {
    PhyRate rate{PhyMode::HtMixed, static_cast<std::uint8_t>(number)};
    rate.wide = number == 32;
    return rate;
  }
  return std::nullopt;
}

std::string PhyRateName(const PhyRate& rate) {
  switch (rate.mode) {
    case PhyMode::Cck: {
      static constexpr std::array<const char*, 4> kNames{"1", "2", "5.5", "11"};
      return std::string("cck-") + kNames[rate.mcs & 3] + ((rate.mcs & 8) != 0 ? "s" : "");
    }
    case PhyMode::Ofdm: return "ofdm-" + std::to_string(static_cast<int>(kOfdmMbps[rate.mcs & 7]));
    default: return "ht-" + std::to_string(rate.mcs);
  }
}

}  // namespace kqa::chip
