// The measurement pages' speed. The capture fetch reads both 16 KB rings
// through the in-process driver from the emulated Kestrel on its USB 2.0
// high-speed timing; "usb2_ms" is what one fetch of both banks takes on that
// link (virtual time), beside the real time the model costs. Target: under
// 50 ms with the default block size; the 64-byte figure is the page's
// fetch block by the letter. The spectrum of 16 segments of 512 samples is measured
// through FFTW and, for reference, through the chip model's radix-2 FFT.
#include <benchmark/benchmark.h>

#include <chrono>
#include <complex>
#include <random>
#include <vector>

#include "app/device/tests/emulated_rig.h"
#include "app/measure/capture_fetch.h"
#include "app/measure/spectrum.h"
#include "chip/baseband/fft.h"

namespace {

using namespace kqa;

void BM_CaptureFetchBothBanks(benchmark::State& state) {
  chip::KestrelOptions options;
  options.timing = chip::ChipTiming::UsbHighSpeed();
  device::testing::RigBed bed(options);
  measure::CaptureBanks banks;
  const auto block = static_cast<std::size_t>(state.range(0));
  const Clock::Duration before = bed.bench.clock().now();
  for (auto _ : state) {
    if (!measure::FetchCaptureBanks(bed.device, 0x124, block, banks)) state.SkipWithError("fetch failed");
  }
  const double elapsed = std::chrono::duration<double, std::milli>(bed.bench.clock().now() - before).count();
  state.counters["usb2_ms"] = elapsed / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CaptureFetchBothBanks)->Arg(measure::kSmallFetchBlock)->Arg(measure::kLargeFetchBlock)
    ->Unit(benchmark::kMillisecond);

std::vector<std::complex<double>> AdcSamples() {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> adc(-128, 127);
  std::vector<std::complex<double>> x(8192);
  for (auto& s : x) s = {static_cast<double>(adc(random)), static_cast<double>(adc(random))};
  return x;
}

void BM_Spectrum16Segments_Fftw(benchmark::State& state) {
  const auto x = AdcSamples();
  measure::SpectrumAnalyzer analyzer;
  measure::Spectrum spectrum;
  for (auto _ : state) {
    analyzer.compute(x, 20, spectrum);
    benchmark::DoNotOptimize(spectrum.noiseFigure);
  }
}
BENCHMARK(BM_Spectrum16Segments_Fftw)->Unit(benchmark::kMicrosecond);

// The same windowing, transforms and sums with a hand-written radix-2 FFT
// (the chip model's), for comparison only.
void BM_Spectrum16Segments_HandWrittenRadix2(benchmark::State& state) {
  const auto x = AdcSamples();
  const auto& w = measure::SpectrumWindow();
  std::vector<std::complex<double>> segment(512);
  std::vector<double> sums(1024);
  for (auto _ : state) {
    std::fill(sums.begin(), sums.end(), 0.0);
    for (std::size_t s = 0; s < 16; ++s) {
      for (std::size_t n = 0; n < 512; ++n) segment[n] = x[s * 512 + n] * w[n];
      chip::Fft(segment);
      for (std::size_t k = 0; k < 512; ++k) {
        sums[k] += segment[k].real() * segment[k].real();
        sums[512 + k] += segment[k].imag() * segment[k].imag();
      }
    }
    benchmark::DoNotOptimize(sums.data());
  }
}
BENCHMARK(BM_Spectrum16Segments_HandWrittenRadix2)->Unit(benchmark::kMicrosecond);

}  // namespace
