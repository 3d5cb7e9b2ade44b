#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <memory>
#include <span>

namespace kqa::measure {

inline constexpr std::size_t kFftPoints = 512;
inline constexpr std::size_t kSegments = 16;

// The built-in window: 512 values, symmetric about 256, 0 at 0 and 1 at 256.
const std::array<double, kFftPoints>& SpectrumWindow();
// The golden unit's noise spectrum in dB, one value per plotted point.
const std::array<double, kFftPoints>& GoldenSpectrum();

struct CurvePoint {
  double x = 0;
  double y = 0;
};

struct Spectrum {
  std::array<double, kFftPoints> power{};  // P[k], the averaged |X[k]|^2
  double noiseFigure = 0;                  // dB above the golden unit's noise
  std::array<CurvePoint, kFftPoints> curve{};   // x in MHz, y in dB
  std::array<CurvePoint, kFftPoints> golden{};  // the golden curve at the same x
};

// The FFT page's frequency-domain processing of 8192 samples:
//  1. 16 segments of 512 samples, each multiplied by the window and
//     transformed (X[k] = sum x[n] e^(-j2 pi kn/512), unscaled); the squared
//     real and imaginary parts summed per bin;
//  2. P[k] = (sum Re^2 + sum Im^2) / 16;
//  3. noise figure: the mean of 10 log10 P[k] - 27.1 over every bin but
//     485..488, minus 18.5958;
//  4. curve point j: x = (j - 256) span / 256 MHz, y = 10 log10 P[(j + 257)
//     mod 512] - 28 (so a constant input shows at x = -span/256);
//  5. golden point j: the same x, y = the golden table's entry j.
// An empty bin (P = 0) counts as 1e-10, so that the curve and the figure stay
// finite. The transform is FFTW's; one analyzer holds its plan and buffers
// and is not shared between threads.
class SpectrumAnalyzer {
 public:
  SpectrumAnalyzer();
  ~SpectrumAnalyzer();
  SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
  SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

  // `samples` must hold kSegments x kFftPoints samples; `spanMHz` is 20 or 40.
  void compute(std::span<const std::complex<double>> samples, int spanMHz, Spectrum& out);

 private:
  struct Plan;
  std::unique_ptr<Plan> plan_;
};

}  // namespace kqa::measure
