#include "app/measure/time_curves.h"

#include <array>
#include <complex>

namespace kqa::measure {
namespace {

using Samples = std::array<std::complex<double>, kSampleCount>;

std::vector<CurvePoint> Curve(const Samples& samples, double period, bool imaginary) {
  std::vector<CurvePoint> curve(kTimePoints);
  for (std::size_t i = 0; i < kTimePoints; ++i)
    curve[i] = {static_cast<double>(i) * period, imaginary ? samples[i].imag() : samples[i].real()};
  return curve;
}

}  // namespace

std::vector<std::vector<CurvePoint>> TimeCurves(const SampleStore& store, int spanMHz, bool oneRxPath) {
  const double period = (spanMHz == 40 ? 100.0 : 200.0) / static_cast<double>(kTimePoints);
  if (oneRxPath) return {Curve(store.s0, period, false), Curve(store.s0, period, true)};
  return {Curve(store.s0, period, false), Curve(store.s1, period, false), Curve(store.s0, period, true),
          Curve(store.s1, period, true)};
}

}  // namespace kqa::measure
