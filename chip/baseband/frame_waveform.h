#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "chip/radio/phy_rate.h"

namespace kqa::chip {

// The complex baseband waveform of one transmission with unit average power,
// sampled at the ADC rate (40 MHz for 20 MHz channels, 80 MHz for 40 MHz).
//
// OFDM and HT frames: the legacy preamble (ten 0.8 us short symbols, the
// 1.6 us guard and two long symbols), then 4 us symbols of 52 subcarriers:
// pilots on +-7 and +-21, data in the constellation of the rate, drawn from
// the frame's seed. CCK frames: Barker-spread symbols at 11 Mchip/s with a
// random QPSK phase per symbol.
class FrameWaveform {
 public:
  FrameWaveform(const PhyRate& rate, double durationUs, double sampleRateMHz, std::uint64_t seed);

  std::int64_t length() const { return length_; }  // in samples
  // Sample m of the frame (0 is its first sample); 0 outside the frame.
  std::complex<double> at(std::int64_t m);

  // OFDM only: the data symbols (the symbols after the preamble) and their
  // 64 subcarriers in the frequency domain, index 0 for subcarrier -32,
  // unit-power constellation points on the used carriers, 0 elsewhere.
  int dataSymbols() const;
  std::vector<std::complex<double>> carriers(int symbol) const;

 private:
  std::complex<double> ofdmAt(std::int64_t m);
  std::complex<double> cckAt(std::int64_t m);
  const std::vector<std::complex<double>>& symbolSamples(int symbol);
  std::vector<std::complex<double>> timeDomain(const std::vector<std::complex<double>>& carriers64) const;

  PhyRate rate_;
  double rate_MHz_;
  std::uint64_t seed_;
  std::int64_t length_;
  int fft_;  // points per 3.2 us
  std::vector<std::complex<double>> stf_;
  std::vector<std::complex<double>> ltf_;
  int cachedSymbol_ = -1;
  std::vector<std::complex<double>> cached_;
  std::int64_t cckSymbol_ = -1;
  std::complex<double> cckPhase_;
};

}  // namespace kqa::chip
