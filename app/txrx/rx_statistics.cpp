#include "app/txrx/rx_statistics.h"

#include <cmath>

#include "app/device/text_format.h"

namespace kqa::txrx {
namespace {

constexpr std::array<std::string_view, kReceiveCounters> kCaptions = {
    "FCS error :", "RX overflow :", "PHY error :", "False CCA :",
    "U2M DATA :",  "other DATA :",  "BEACON :",    "others (Mgmt/Cntl) :",
};

constexpr std::size_t kFcsErrors = 0;
constexpr std::size_t kU2mData = 4;

}  // namespace

std::span<const std::string_view> ReceiveCounterCaptions() { return kCaptions; }

std::size_t ReceiveCounterWord(std::size_t counter) { return 2 * counter; }

StatisticsRefresh StatisticsTracker::refresh(const device::RxStatisticsWords& words,
                                             const EnvironmentSettings& environment) {
  StatisticsRefresh result;
  for (std::size_t i = 0; i < kReceiveCounters; ++i) {
    const std::uint32_t current = words[ReceiveCounterWord(i)];
    result.delta[i] = current - previous_[i];
    result.total[i] = current;
    result.texts[i] = device::Format("%d / %d", static_cast<int>(result.delta[i]), static_cast<int>(current));
    previous_[i] = current;
  }
  const double dF = result.delta[kFcsErrors];
  const double dU = result.delta[kU2mData];
  if (dF + dU == 0) return result;
  result.fer = dF * 100 / (dF + dU);
  const double expected = static_cast<double>(static_cast<std::uint32_t>(environment.expectedCount));
  const double received = environment.frameLossMode == 0 ? static_cast<double>(result.total[kU2mData]) : dU;
  result.frameLoss = expected > received ? (expected - received) * 100 / expected : 0.0;
  return result;
}

std::string PercentText(double percent) {
  return device::Format("%.2f%c", percent, '%');
}

SignalReading SignalOf(const device::RxStatisticsWords& words) {
  SignalReading reading;
  reading.rssiRaw[0] = words[23];
  reading.rssiRaw[1] = words[19];
  reading.rssiRaw[2] = words[20];
  reading.snrRaw[0] = words[21];
  reading.snrRaw[1] = words[22];
  return reading;
}

int RssiDbm(std::uint32_t raw, std::int8_t offset, bool wide, bool mainAntenna, int bandLnaGain) {
  const unsigned code = (raw >> 6) & 3;
  const int vga = static_cast<int>(raw & 0x3F);
  int lna = 0;
  switch (code) {
    case 3: lna = wide ? 34 : 33; break;
    case 2: lna = wide ? 16 : 15; break;
    case 1: lna = wide && mainAntenna ? 0 : -2; break;
    default: lna = 0; break;
  }
  return 8 - offset - lna - vga - bandLnaGain;
}

double SnrDb(std::uint32_t raw) { return raw * 0.1881; }

std::string SnrText(std::uint32_t raw) {
  if (raw == 0) return "0.0 dB";
  return device::Format("%.1f dB", SnrDb(raw));
}

double DeviationKhz(std::uint8_t r57) { return static_cast<std::int8_t>(r57) * 0.4; }

double DeviationPpm(std::uint8_t r57, bool fiveGhz) {
  return std::fabs(DeviationKhz(r57) * 1000 / (fiveGhz ? 5500.0 : 2400.0));
}

std::string DeviationText(std::uint8_t r57, bool fiveGhz) {
  return device::Format("%.1f KHz / %.1f ppm", DeviationKhz(r57), DeviationPpm(r57, fiveGhz));
}

}  // namespace kqa::txrx
