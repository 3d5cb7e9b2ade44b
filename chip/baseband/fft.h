#pragma once

#include <complex>
#include <span>

namespace kqa::chip {

// In-place radix-2 FFT, X[k] = sum x[n] e^(-j 2 pi k n / N) (or e^(+...)
// for the inverse), unscaled. The length must be a power of two.
void Fft(std::span<std::complex<double>> data, bool inverse = false);

}  // namespace kqa::chip
