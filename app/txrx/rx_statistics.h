#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/device/pipelines.h"
#include "app/txrx/run_settings.h"

namespace kqa::txrx {

inline constexpr std::size_t kReceiveCounters = 8;

// "FCS error :", "RX overflow :", "PHY error :", "False CCA :", "U2M DATA :",
// "other DATA :", "BEACON :", "others (Mgmt/Cntl) :".
std::span<const std::string_view> ReceiveCounterCaptions();
// The statistics word of each counter (0, 2, ... 14).
std::size_t ReceiveCounterWord(std::size_t counter);

// One second's refresh of the receive statistics, as the page shows it.
struct StatisticsRefresh {
  std::array<std::uint32_t, kReceiveCounters> delta{};  // in the last second
  std::array<std::uint32_t, kReceiveCounters> total{};  // since the counters were reset
  std::array<std::string, kReceiveCounters> texts;      // "%d / %d"
  // Set when frames arrived in the last second (FCS errors or U2M data);
  // otherwise the page keeps its last texts.
  std::optional<double> fer;        // percent
  std::optional<double> frameLoss;  // percent
};

// The receive counters between refreshes: what the page saw last time.
class StatisticsTracker {
 public:
  StatisticsRefresh refresh(const device::RxStatisticsWords& words, const EnvironmentSettings& environment);
  // Forgets the previous counts (after a counter reset).
  void reset() { previous_ = {}; }

 private:
  std::array<std::uint32_t, kReceiveCounters> previous_{};
};

// "%.2f%c" with '%': "2.50%".
std::string PercentText(double percent);

// What the statistics words say of the signal (words 19-23).
struct SignalReading {
  std::uint32_t rssiRaw[3]{};  // receive paths 0, 1, 2 (words 23, 19, 20)
  std::uint32_t snrRaw[2]{};   // words 21, 22
};
SignalReading SignalOf(const device::RxStatisticsWords& words);

// The receive path's RSSI in dBm: 8 - offset - LNA gain - VGA - band LNA
// gain, from the raw value's LNA code (bits 6-7) and VGA (bits 0-5).
int RssiDbm(std::uint32_t raw, std::int8_t offset, bool wide, bool mainAntenna, int bandLnaGain);
// "0.0 dB" for 0, else raw x 0.1881 as "%.1f dB".
std::string SnrText(std::uint32_t raw);
double SnrDb(std::uint32_t raw);
// BBP R57 as a signed byte: 0.4 kHz a step; ppm of 2400 MHz or 5500 MHz.
double DeviationKhz(std::uint8_t r57);
double DeviationPpm(std::uint8_t r57, bool fiveGhz);
// "%.1f KHz / %.1f ppm".
std::string DeviationText(std::uint8_t r57, bool fiveGhz);

}  // namespace kqa::txrx
