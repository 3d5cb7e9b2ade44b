#include "app/measure/spectrum.h"

#include <fftw3.h>

#include <cmath>
#include <mutex>
#include <numbers>
#include <stdexcept>

namespace kqa::measure {
namespace {

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex& PlannerLock() {
  static std::mutex lock;
  return lock;
}

constexpr double kSegmentAverage = 0.0625;
constexpr double kBinOffsetDb = 27.1;
constexpr double kGoldenNoiseDb = 18.5958;
constexpr double kCurveOffsetDb = 28.0;
constexpr double kEmptyBin = 1e-10;
constexpr std::size_t kSpurFirst = 485;
constexpr std::size_t kSpurLast = 488;

// The window as the page has always used it, known from six of its values
// (w[1] = 0.003086, w[16] = 0.053616, w[64] = 0.2625, w[128] = 0.60021,
// w[192] = 0.88724, w[224] = 0.97094) and its shape (symmetric about 256,
// w[0] = 0, w[256] = 1). With s = sin(pi n / 512), the curve
//   w = 0.5 s + 0.4772 s^2 + 0.0228 s^3
// (a least-squares fit with the weights summing to 1) meets all six within
// 6e-6, the rounding of the values given; those six keep their exact values
// at n and 512 - n.
std::array<double, kFftPoints> MakeWindow() {
  std::array<double, kFftPoints> w{};
  for (std::size_t n = 0; n <= kFftPoints / 2; ++n) {
    const double s = std::sin(std::numbers::pi * static_cast<double>(n) / kFftPoints);
    w[n] = 0.5 * s + 0.4772 * s * s + 0.0228 * s * s * s;
    if (n > 0) w[kFftPoints - n] = w[n];
  }
  constexpr std::pair<std::size_t, double> kKnown[] = {{1, 0.003086},  {16, 0.053616},
                                                       {64, 0.2625},   {128, 0.60021},
                                                       {192, 0.88724}, {224, 0.97094}};
  for (auto [n, value] : kKnown) w[n] = w[kFftPoints - n] = value;
  w[0] = 0.0;
  w[256] = 1.0;
  return w;
}

// The golden unit's noise spectrum is known at four points: 5.42, 5.03 and
// 2.65 dB at points 0-2 (the band edge, -span), about 23 dB around the centre
// and 33.88 dB at point 256 (the unit's leakage next to DC). The rest follows
// a flat 23 dB floor under a third-order roll-off,
//   y(x) = 23 - 10 log10(1 + (x / fc)^6),  x = (j - 256) / 256 of 20 MHz,
// whose corner fc is chosen so that the curve meets the mean of the three
// edge values at their mean position (fc = 9.77 MHz); the four known points
// keep their values.
std::array<double, kFftPoints> MakeGolden() {
  constexpr double kCentreDb = 23.0;
  constexpr double kEdge[] = {5.42, 5.03, 2.65};
  const double edgeMeanDb = (kEdge[0] + kEdge[1] + kEdge[2]) / 3.0;
  const double edgeX = 20.0 * (256.0 - 1.0) / 256.0;  // point 1, the mean of points 0-2
  const double corner = edgeX / std::pow(std::pow(10.0, (kCentreDb - edgeMeanDb) / 10.0) - 1.0, 1.0 / 6.0);
  std::array<double, kFftPoints> golden{};
  for (std::size_t j = 0; j < kFftPoints; ++j) {
    const double x = 20.0 * (static_cast<double>(j) - 256.0) / 256.0;
    golden[j] = kCentreDb - 10.0 * std::log10(1.0 + std::pow(x / corner, 6.0));
  }
  for (std::size_t j = 0; j < 3; ++j) golden[j] = kEdge[j];
  golden[256] = 33.88;
  return golden;
}

}  // namespace

const std::array<double, kFftPoints>& SpectrumWindow() {
  static const std::array<double, kFftPoints> window = MakeWindow();
  return window;
}

const std::array<double, kFftPoints>& GoldenSpectrum() {
  static const std::array<double, kFftPoints> golden = MakeGolden();
  return golden;
}

struct SpectrumAnalyzer::Plan {
  fftw_complex* in = nullptr;
  fftw_complex* out = nullptr;
  fftw_plan plan = nullptr;
};

SpectrumAnalyzer::SpectrumAnalyzer() : plan_(std::make_unique<Plan>()) {
  std::lock_guard lock(PlannerLock());
  plan_->in = fftw_alloc_complex(kFftPoints);
  plan_->out = fftw_alloc_complex(kFftPoints);
  plan_->plan = fftw_plan_dft_1d(static_cast<int>(kFftPoints), plan_->in, plan_->out, FFTW_FORWARD,
                                 FFTW_ESTIMATE);
  if (plan_->in == nullptr || plan_->out == nullptr || plan_->plan == nullptr)
    throw std::runtime_error("FFTW could not plan a 512-point transform");
}

SpectrumAnalyzer::~SpectrumAnalyzer() {
  std::lock_guard lock(PlannerLock());
  if (plan_->plan != nullptr) fftw_destroy_plan(plan_->plan);
  fftw_free(plan_->in);
  fftw_free(plan_->out);
}

void SpectrumAnalyzer::compute(std::span<const std::complex<double>> samples, int spanMHz,
                               Spectrum& result) {
  if (samples.size() < kSegments * kFftPoints)
    throw std::invalid_argument("a spectrum needs 8192 samples");
  const auto& w = SpectrumWindow();
  std::array<double, kFftPoints> sumRe{};
  std::array<double, kFftPoints> sumIm{};
  for (std::size_t segment = 0; segment < kSegments; ++segment) {
    const std::complex<double>* x = &samples[segment * kFftPoints];
    for (std::size_t n = 0; n < kFftPoints; ++n) {
      plan_->in[n][0] = x[n].real() * w[n];
      plan_->in[n][1] = x[n].imag() * w[n];
    }
    fftw_execute(plan_->plan);
    for (std::size_t k = 0; k < kFftPoints; ++k) {
      sumRe[k] += plan_->out[k][0] * plan_->out[k][0];
      sumIm[k] += plan_->out[k][1] * plan_->out[k][1];
    }
  }
  std::array<double, kFftPoints> db{};
  double noiseSum = 0;
  for (std::size_t k = 0; k < kFftPoints; ++k) {
    result.power[k] = sumRe[k] * kSegmentAverage + sumIm[k] * kSegmentAverage;
    db[k] = 10.0 * std::log10(std::max(result.power[k], kEmptyBin));
    if (k < kSpurFirst || k > kSpurLast) noiseSum += db[k] - kBinOffsetDb;
  }
  result.noiseFigure = noiseSum / static_cast<double>(kFftPoints - (kSpurLast - kSpurFirst + 1)) - kGoldenNoiseDb;
  const auto& golden = GoldenSpectrum();
  for (std::size_t j = 0; j < kFftPoints; ++j) {
    const double x = (static_cast<double>(j) - 256.0) * spanMHz / 256.0;
    result.curve[j] = {x, db[(j + 257) % kFftPoints] - kCurveOffsetDb};
    result.golden[j] = {x, golden[j]};
  }
}

}  // namespace kqa::measure
