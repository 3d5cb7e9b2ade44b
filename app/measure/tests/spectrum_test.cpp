// The frequency-domain processing against its definition, computed here the
// slow way (a direct DFT), and the built-in tables against their known values.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "app/measure/spectrum.h"

namespace kqa::measure {
namespace {

TEST(SpectrumTables, TheWindowKeepsItsKnownValuesAndShape) {
  const auto& w = SpectrumWindow();
  const std::pair<std::size_t, double> known[] = {{0, 0.0},      {1, 0.003086},  {16, 0.053616}, {64, 0.2625},
                                                  {128, 0.60021}, {192, 0.88724}, {224, 0.97094}, {256, 1.0}};
  for (auto [n, value] : known) EXPECT_EQ(w[n], value) << n;
  for (std::size_t n = 1; n < 512; ++n) EXPECT_EQ(w[n], w[512 - n]) << n;
  for (std::size_t n = 1; n <= 256; ++n) EXPECT_GT(w[n], w[n - 1]) << "rises to the middle at " << n;
}

TEST(SpectrumTables, TheGoldenCurveKeepsItsKnownPointsAndIsFlatInTheBand) {
  const auto& g = GoldenSpectrum();
  EXPECT_EQ(g[0], 5.42);
  EXPECT_EQ(g[1], 5.03);
  EXPECT_EQ(g[2], 2.65);
  EXPECT_EQ(g[256], 33.88);
  EXPECT_NEAR(g[255], 23.0, 0.01);
  EXPECT_NEAR(g[256 + 64], 23.0, 0.1) << "5 MHz from the centre";
  EXPECT_NEAR(g[511], 4.4, 0.5) << "the other edge mirrors the known one";
  for (std::size_t j = 257; j < 511; ++j) EXPECT_LE(g[j + 1], g[j]) << j;
}

// The definition, by hand: window, direct DFT, squared parts averaged.
std::vector<double> DirectPower(const std::vector<std::complex<double>>& x) {
  const auto& w = SpectrumWindow();
  std::vector<double> re2(512), im2(512);
  for (std::size_t s = 0; s < 16; ++s)
    for (std::size_t k = 0; k < 512; ++k) {
      std::complex<double> sum;
      for (std::size_t n = 0; n < 512; ++n)
        sum += x[s * 512 + n] * w[n] * std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(k * n % 512) / 512.0);
      re2[k] += sum.real() * sum.real();
      im2[k] += sum.imag() * sum.imag();
    }
  std::vector<double> p(512);
  for (std::size_t k = 0; k < 512; ++k) p[k] = re2[k] * 0.0625 + im2[k] * 0.0625;
  return p;
}

TEST(Spectrum, EqualsTheDefinitionForAnyInput) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> adc(-128, 127);
  std::vector<std::complex<double>> x(8192);
  for (auto& s : x) s = {static_cast<double>(adc(random)), static_cast<double>(adc(random))};
  const std::vector<double> p = DirectPower(x);
  double noise = 0;
  for (std::size_t k = 0; k < 512; ++k)
    if (k < 485 || k > 488) noise += 10 * std::log10(p[k]) - 27.1;
  noise = noise / 508 - 18.5958;

  SpectrumAnalyzer analyzer;
  Spectrum spectrum;
  analyzer.compute(x, 40, spectrum);
  for (std::size_t k = 0; k < 512; ++k) EXPECT_NEAR(spectrum.power[k], p[k], 1e-9 * p[k]) << k;
  EXPECT_NEAR(spectrum.noiseFigure, noise, 1e-9);
  for (std::size_t j : {0u, 255u, 256u, 511u}) {
    EXPECT_DOUBLE_EQ(spectrum.curve[j].x, (static_cast<double>(j) - 256.0) * 40.0 / 256.0);
    EXPECT_NEAR(spectrum.curve[j].y, 10 * std::log10(p[(j + 257) % 512]) - 28, 1e-9);
    EXPECT_EQ(spectrum.golden[j].y, GoldenSpectrum()[j]);
  }
}

TEST(Spectrum, AConstantShowsAtMinusOneBinAndSilenceStaysFinite) {
  SpectrumAnalyzer analyzer;
  Spectrum spectrum;
  analyzer.compute(std::vector<std::complex<double>>(8192, {10, 0}), 20, spectrum);
  std::size_t peak = 0;
  for (std::size_t j = 0; j < 512; ++j)
    if (spectrum.curve[j].y > spectrum.curve[peak].y) peak = j;
  EXPECT_EQ(peak, 255u);
  EXPECT_DOUBLE_EQ(spectrum.curve[peak].x, -20.0 / 256.0);

  analyzer.compute(std::vector<std::complex<double>>(8192), 20, spectrum);
  EXPECT_DOUBLE_EQ(spectrum.curve[100].y, -128.0);
  EXPECT_TRUE(std::isfinite(spectrum.noiseFigure));
}

}  // namespace
}  // namespace kqa::measure
