#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>

#include "app/measure/capture_fetch.h"

namespace kqa::measure {

inline constexpr std::size_t kSampleCount = 8192;

// The FFT page's sample stores. S0 and its integer copies I0/Q0 hold receive
// path 0; the Kestrel has one receive path, so S1, I1 and Q1 stay zero (the
// page still shows and saves them when "One Rx Path" is clear).
struct SampleStore {
  std::array<std::complex<double>, kSampleCount> s0{};
  std::array<std::complex<double>, kSampleCount> s1{};
  std::array<std::int32_t, kSampleCount> i0{};
  std::array<std::int32_t, kSampleCount> q0{};
  std::array<std::int32_t, kSampleCount> i1{};
  std::array<std::int32_t, kSampleCount> q1{};
};

// The first 8192 bytes of each ring as samples: for word g of both banks
// (bytes a0..a3 of bank A, b0..b3 of bank B, each a signed byte), samples
// 4g..4g+3 are a1 + j a0, a3 + j a2, b1 + j b0, b3 + j b2: the chip keeps
// I in the high and Q in the low byte of each half word.
void UnpackSamples(const CaptureBanks& banks, SampleStore& store);

}  // namespace kqa::measure
