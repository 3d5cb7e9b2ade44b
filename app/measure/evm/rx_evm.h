#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kqa::evm {

inline constexpr std::size_t kRxEvmSamples = 8192;

// What the analysis found in one capture.
struct RxEvmReport {
  bool frame = false;         // a legacy OFDM preamble with data symbols after it
  double evmDb = 0;           // RMS EVM over the data subcarriers of the data symbols
  int oversampling = 0;       // samples per 20 MHz sample: 2 (40 MHz capture) or 4 (80 MHz)
  std::size_t start = 0;      // sample index of the first long training symbol
  double offsetCycles = 0;    // the frequency offset removed, in cycles per sample
  int dataSymbols = 0;        // measured (the SIGNAL symbol not counted)
  int bitsPerCarrier = 0;     // the constellation chosen: 1, 2, 4 or 6
  double noiseDb = 0;         // the long training field's noise, relative to the signal
};

// The receive EVM of the first legacy OFDM frame in a capture of baseband
// samples (real and imaginary parts as the capture page keeps them). The
// method is described in app/measure/evm/README.md.
RxEvmReport AnalyzeRxEvm(std::span<const std::int32_t> real, std::span<const std::int32_t> imag);

}  // namespace kqa::evm

// The component's one export, as the FFT page calls it: 8192 real and 8192
// imaginary parts; returns the RMS EVM in dB, or a quiet NaN when the capture
// holds no OFDM frame to measure ("no frame").
extern "C" double fnRXEVM(const std::int32_t* real, const std::int32_t* imag);
