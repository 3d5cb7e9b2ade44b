#pragma once

#include <vector>

#include "app/measure/capture_samples.h"
#include "app/measure/spectrum.h"

namespace kqa::measure {

inline constexpr std::size_t kTimePoints = 8000;

// The time-domain curves: 8000 points, x in microseconds (200 / 8000 us a
// sample at span 20, 100 / 8000 at span 40), y in ADC units. With one
// receive path: the real and the imaginary part of S0; otherwise the real
// parts of S0 and S1, then the imaginary parts of S0 and S1.
std::vector<std::vector<CurvePoint>> TimeCurves(const SampleStore& store, int spanMHz, bool oneRxPath);

}  // namespace kqa::measure
