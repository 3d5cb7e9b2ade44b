#include "chip/baseband/frame_waveform.h"

#include <array>
#include <cmath>

#include "chip/baseband/fft.h"
#include "chip/radio/random.h"

namespace kqa::chip {

namespace {

using Complex = std::complex<double>;

// The legacy training fields, subcarriers -26 .. 26.
constexpr std::array<int, 53> kLongTraining{1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, 1, 1, 1, 1, -1, -1, 1,
                                            1, -1, 1, -1, 1, 1, 1, 1, 0, 1, -1, -1, 1, 1, -1, 1, -1, 1,
                                            -1, -1, -1, -1, -1, 1, 1, -1, -1, 1, -1, 1, -1, 1, 1, 1, 1};
// Short training: subcarrier and sign of (1 + j).
constexpr std::array<std::pair<int, int>, 12> kShortTraining{
    {{-24, 1}, {-20, -1}, {-16, 1}, {-12, -1}, {-8, -1}, {-4, 1}, {4, -1}, {8, -1}, {12, 1}, {16, 1}, {20, 1}, {24, 1}}};
constexpr std::array<int, 11> kBarker{1, -1, 1, 1, -1, 1, 1, 1, -1, -1, -1};

// Bits per subcarrier of the rate's constellation.
int BitsPerCarrier(const PhyRate& rate) {
  const int index = rate.mode == PhyMode::Ofdm ? rate.mcs & 7 : (rate.mcs == 32 ? 0 : rate.mcs & 7);
  if (rate.mode == PhyMode::Ofdm) return index < 2 ? 1 : index < 4 ? 2 : index < 6 ? 4 : 6;
  return index == 0 ? 1 : index < 3 ? 2 : index < 5 ? 4 : 6;
}

Complex Constellation(int bits, Random& random) {
  if (bits == 1) return random.below(2) != 0 ? 1.0 : -1.0;
  const int levels = 1 << (bits / 2);
  const double scale = bits == 2 ? 1.0 / std::sqrt(2.0) : bits == 4 ? 1.0 / std::sqrt(10.0) : 1.0 / std::sqrt(42.0);
  const auto level = [&] { return 2.0 * random.below(static_cast<std::uint32_t>(levels)) - (levels - 1); };
  const double i = level();
  const double q = level();
  return Complex(i, q) * scale;
}

constexpr double kPreambleUs = 16.0;
constexpr double kSymbolUs = 4.0;

}  // namespace

FrameWaveform::FrameWaveform(const PhyRate& rate, double durationUs, double sampleRateMHz, std::uint64_t seed)
    : rate_(rate),
      rate_MHz_(sampleRateMHz),
      seed_(seed),
      length_(static_cast<std::int64_t>(std::llround(durationUs * sampleRateMHz))),
      fft_(static_cast<int>(std::lround(3.2 * sampleRateMHz))) {
  if (!rate_.isOfdm()) return;
  std::vector<Complex> carriers(64);
  for (auto [k, sign] : kShortTraining) carriers[static_cast<std::size_t>(k + 32)] = Complex(sign, sign) * std::sqrt(13.0 / 6.0);
  stf_ = timeDomain(carriers);
  std::fill(carriers.begin(), carriers.end(), Complex{});
  for (int k = -26; k <= 26; ++k) carriers[static_cast<std::size_t>(k + 32)] = kLongTraining[static_cast<std::size_t>(k + 26)];
  ltf_ = timeDomain(carriers);
}

std::vector<Complex> FrameWaveform::timeDomain(const std::vector<Complex>& carriers64) const {
  std::vector<Complex> samples(static_cast<std::size_t>(fft_));
  for (int k = -32; k < 32; ++k)
    samples[static_cast<std::size_t>((k + fft_) % fft_)] = carriers64[static_cast<std::size_t>(k + 32)];
  Fft(samples, true);
  for (auto& s : samples) s /= std::sqrt(52.0);  // unit power over 52 carriers
  return samples;
}

int FrameWaveform::dataSymbols() const {
  if (!rate_.isOfdm()) return 0;
  const double dataUs = static_cast<double>(length_) / rate_MHz_ - kPreambleUs;
  return dataUs > 0 ? static_cast<int>(dataUs / kSymbolUs) : 0;
}

std::vector<Complex> FrameWaveform::carriers(int symbol) const {
  std::vector<Complex> out(64);
  Random random(Random::Mix(seed_, static_cast<std::uint64_t>(symbol) + 1));
  // The SIGNAL symbol (symbol 0) is BPSK whatever the rate.
  const int bits = symbol == 0 ? 1 : BitsPerCarrier(rate_);
  for (int k = -26; k <= 26; ++k) {
    if (k == 0) continue;
    Complex value;
    if (k == -21 || k == -7 || k == 7) {
      value = 1.0;
    } else if (k == 21) {
      value = -1.0;
    } else {
      value = Constellation(bits, random);
    }
    out[static_cast<std::size_t>(k + 32)] = value;
  }
  return out;
}

const std::vector<Complex>& FrameWaveform::symbolSamples(int symbol) {
  if (symbol != cachedSymbol_) {
    cached_ = timeDomain(carriers(symbol));
    cachedSymbol_ = symbol;
  }
  return cached_;
}

Complex FrameWaveform::at(std::int64_t m) {
  if (m < 0 || m >= length_) return {};
  return rate_.isOfdm() ? ofdmAt(m) : cckAt(m);
}

Complex FrameWaveform::ofdmAt(std::int64_t m) {
  const auto perUs = rate_MHz_;
  const auto n = static_cast<std::int64_t>(fft_);
  const auto stfEnd = static_cast<std::int64_t>(8.0 * perUs);
  const auto ltfEnd = static_cast<std::int64_t>(16.0 * perUs);
  if (m < stfEnd) return stf_[static_cast<std::size_t>(m % (n / 4))];  // period 0.8 us
  if (m < ltfEnd) {
    const std::int64_t u = m - stfEnd;
    const std::int64_t guard = n / 2;
    return ltf_[static_cast<std::size_t>(u < guard ? n - guard + u : (u - guard) % n)];
  }
  const std::int64_t v = m - ltfEnd;
  const auto symbolLength = static_cast<std::int64_t>(kSymbolUs * perUs);
  const int symbol = static_cast<int>(v / symbolLength);
  const std::int64_t position = v % symbolLength;
  const std::int64_t prefix = symbolLength - n;
  const auto& samples = symbolSamples(symbol);
  return samples[static_cast<std::size_t>(position < prefix ? n - prefix + position : position - prefix)];
}

Complex FrameWaveform::cckAt(std::int64_t m) {
  const auto chip = static_cast<std::int64_t>(static_cast<double>(m) * 11.0 / rate_MHz_);
  const std::int64_t symbol = chip / 11;
  if (symbol != cckSymbol_) {
    Random random(Random::Mix(seed_, static_cast<std::uint64_t>(symbol) + 1));
    static const Complex kPhases[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    cckPhase_ = kPhases[random.below(4)];
    cckSymbol_ = symbol;
  }
  return cckPhase_ * static_cast<double>(kBarker[static_cast<std::size_t>(chip % 11)]);
}

}  // namespace kqa::chip
