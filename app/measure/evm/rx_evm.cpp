#include "app/measure/evm/rx_evm.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

namespace kqa::evm {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// The legacy long training field, subcarriers -26..26.
constexpr std::array<int, 53> kLongTraining{1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, 1, 1, 1, 1, -1, -1, 1,
                                            1, -1, 1, -1, 1, 1, 1, 1, 0, 1, -1, -1, 1, 1, -1, 1, -1, 1,
                                            -1, -1, -1, -1, -1, 1, 1, -1, -1, 1, -1, 1, -1, 1, 1, 1, 1};
constexpr int kCarriers = 53;  // -26..26, index k + 26
constexpr std::array<int, 4> kPilotCarriers{-21, -7, 7, 21};
constexpr std::array<double, 4> kPilotValues{1, 1, 1, -1};
constexpr double kPreambleMetric = 0.5;     // short-training autocorrelation that counts as a preamble
constexpr double kTrainingMatch = 0.5;      // normalized match with the long training symbol
constexpr double kSymbolPresent = 0.5;      // a symbol's data power, in units of the frame's
constexpr int kMinDataSymbols = 2;

bool IsPilot(int k) { return k == -21 || k == -7 || k == 7 || k == 21; }
bool IsData(int k) { return k != 0 && !IsPilot(k) && k >= -26 && k <= 26; }

// The unit-power constellation of `bits` per subcarrier (BPSK, QPSK, 16-QAM, 64-QAM).
std::vector<Complex> Constellation(int bits) {
  if (bits == 1) return {{-1, 0}, {1, 0}};
  const int levels = 1 << (bits / 2);
  const double scale = 1.0 / std::sqrt(2.0 * (levels * levels - 1) / 3.0);
  std::vector<Complex> points;
  for (int i = 0; i < levels; ++i)
    for (int q = 0; q < levels; ++q)
      points.emplace_back((2 * i - levels + 1) * scale, (2 * q - levels + 1) * scale);
  return points;
}

Complex Nearest(const std::vector<Complex>& points, Complex z) {
  Complex best = points.front();
  double bestDistance = std::norm(z - best);
  for (const Complex& p : points) {
    const double d = std::norm(z - p);
    if (d < bestDistance) {
      bestDistance = d;
      best = p;
    }
  }
  return best;
}

using Carriers = std::array<Complex, kCarriers>;

// The 20 MHz OFDM grid at `f` samples per 20 MHz sample: a symbol is 64f
// samples, its guard 16f.
class Demodulator {
 public:
  explicit Demodulator(int f) : f_(f), n_(64 * f), twiddle_(static_cast<std::size_t>(n_)) {
    for (int t = 0; t < n_; ++t) twiddle_[static_cast<std::size_t>(t)] = std::polar(1.0, -2.0 * kPi * t / n_);
  }

  int size() const { return n_; }
  int f() const { return f_; }

  // The DFT of samples [start, start + 64f) at subcarriers -26..26.
  Carriers carriers(const std::vector<Complex>& x, std::size_t start) const {
    Carriers out{};
    for (int k = -26; k <= 26; ++k) {
      const int step = ((k % n_) + n_) % n_;
      Complex sum;
      int phase = 0;
      for (int m = 0; m < n_; ++m) {
        sum += x[start + static_cast<std::size_t>(m)] * twiddle_[static_cast<std::size_t>(phase)];
        phase = (phase + step) % n_;
      }
      out[static_cast<std::size_t>(k + 26)] = sum;
    }
    return out;
  }

  // One long training symbol in time, at this rate.
  std::vector<Complex> longTrainingSymbol() const {
    std::vector<Complex> symbol(static_cast<std::size_t>(n_));
    for (int m = 0; m < n_; ++m)
      for (int k = -26; k <= 26; ++k)
        symbol[static_cast<std::size_t>(m)] +=
            static_cast<double>(kLongTraining[static_cast<std::size_t>(k + 26)]) *
            std::conj(twiddle_[static_cast<std::size_t>((((k * m) % n_) + n_) % n_)]);
    return symbol;
  }

 private:
  int f_;
  int n_;
  std::vector<Complex> twiddle_;
};

struct Preamble {
  std::size_t first = 0;  // where the short training's autocorrelation first holds
  double cycles = 0;      // coarse frequency offset, cycles per sample
};

// Schmidl-Cox on the short training field: its 0.8 us period (16f samples)
// makes the autocorrelation at that lag close to 1 over 3.2 us windows.
std::optional<Preamble> FindShortTraining(const std::vector<Complex>& x, int f) {
  const std::size_t lag = static_cast<std::size_t>(16 * f);
  const std::size_t window = 4 * lag;
  if (x.size() < window + lag) return std::nullopt;
  Complex p;
  double e0 = 0;
  double e1 = 0;
  for (std::size_t m = 0; m < window; ++m) {
    p += std::conj(x[m]) * x[m + lag];
    e0 += std::norm(x[m]);
    e1 += std::norm(x[m + lag]);
  }
  std::optional<Preamble> found;
  double best = 0;
  for (std::size_t d = 0; d + window + lag < x.size(); ++d) {
    const double metric = e0 > 0 && e1 > 0 ? std::norm(p) / (e0 * e1) : 0.0;
    if (!found && metric > kPreambleMetric) found = Preamble{d, 0.0};
    if (found) {
      if (d > found->first + 5 * lag) break;  // the plateau lasts 4 us; its best is within it
      if (metric > best) {
        best = metric;
        found->cycles = std::arg(p) / (2.0 * kPi * static_cast<double>(lag));
      }
    }
    p += std::conj(x[d + window]) * x[d + window + lag] - std::conj(x[d]) * x[d + lag];
    e0 += std::norm(x[d + window]) - std::norm(x[d]);
    e1 += std::norm(x[d + window + lag]) - std::norm(x[d + lag]);
  }
  return found;
}

void RemoveOffset(std::vector<Complex>& x, double cycles) {
  for (std::size_t n = 0; n < x.size(); ++n)
    x[n] *= std::polar(1.0, -2.0 * kPi * std::fmod(cycles * static_cast<double>(n), 1.0));
}

// The first long training symbol: the lag where the two symbols together
// match the known one best, searched over 12 us after the short training.
std::optional<std::size_t> FindLongTraining(const std::vector<Complex>& x, const Demodulator& demod,
                                            std::size_t from) {
  const std::vector<Complex> reference = demod.longTrainingSymbol();
  const auto n = static_cast<std::size_t>(demod.size());
  double referenceEnergy = 0;
  for (const Complex& r : reference) referenceEnergy += std::norm(r);
  if (x.size() < 2 * n) return std::nullopt;
  const std::size_t last = std::min(from + static_cast<std::size_t>(240 * demod.f()), x.size() - 2 * n);
  if (from >= last) return std::nullopt;
  std::vector<double> match(last + n - from + 1);
  for (std::size_t d = from; d <= last + n && d + n <= x.size(); ++d) {
    Complex sum;
    double energy = 0;
    for (std::size_t m = 0; m < n; ++m) {
      sum += std::conj(reference[m]) * x[d + m];
      energy += std::norm(x[d + m]);
    }
    match[d - from] = energy > 0 ? std::norm(sum) / (referenceEnergy * energy) : 0.0;
  }
  std::size_t best = from;
  double bestScore = -1;
  for (std::size_t d = from; d <= last; ++d) {
    const double score = match[d - from] + match[d + n - from];
    if (score > bestScore) {
      bestScore = score;
      best = d;
    }
  }
  if (bestScore < 2 * kTrainingMatch) return std::nullopt;
  return best;
}

double PilotPhase(const Carriers& equalized) {
  Complex sum;
  for (std::size_t i = 0; i < kPilotCarriers.size(); ++i)
    sum += equalized[static_cast<std::size_t>(kPilotCarriers[i] + 26)] * kPilotValues[i];
  return std::arg(sum);
}

// Divides by the channel and turns the symbol back by the common phase its
// pilots show; `phase` receives that phase.
Carriers Equalize(const Carriers& y, const Carriers& h, double& phase) {
  Carriers z{};
  for (int k = -26; k <= 26; ++k) {
    const auto i = static_cast<std::size_t>(k + 26);
    if (k != 0) z[i] = y[i] / h[i];
  }
  phase = PilotPhase(z);
  const Complex derotate = std::polar(1.0, -phase);
  for (Complex& c : z) c *= derotate;
  return z;
}

Complex PilotValue(int k) {
  const auto at = std::find(kPilotCarriers.begin(), kPilotCarriers.end(), k) - kPilotCarriers.begin();
  return kPilotValues[static_cast<std::size_t>(at)];
}

// Log-likelihood of the data carriers under a constellation, for noise of
// variance `noise` (equally likely points).
double LogLikelihood(const std::vector<Carriers>& symbols, const std::vector<Complex>& points, double noise) {
  double total = 0;
  std::vector<double> exponents(points.size());
  for (std::size_t s = 1; s < symbols.size(); ++s) {
    for (int k = -26; k <= 26; ++k) {
      if (!IsData(k)) continue;
      const Complex z = symbols[s][static_cast<std::size_t>(k + 26)];
      double largest = -std::numeric_limits<double>::infinity();
      for (std::size_t i = 0; i < points.size(); ++i) {
        exponents[i] = -std::norm(z - points[i]) / noise;
        largest = std::max(largest, exponents[i]);
      }
      double sum = 0;
      for (double e : exponents) sum += std::exp(e - largest);
      total += largest + std::log(sum / static_cast<double>(points.size()));
    }
  }
  return total;
}

}  // namespace

RxEvmReport AnalyzeRxEvm(std::span<const std::int32_t> real, std::span<const std::int32_t> imag) {
  RxEvmReport report;
  const std::size_t count = std::min(real.size(), imag.size());
  std::vector<Complex> x(count);
  Complex mean;
  for (std::size_t n = 0; n < count; ++n) {
    x[n] = Complex(real[n], imag[n]);
    mean += x[n];
  }
  if (count == 0) return report;
  mean /= static_cast<double>(count);
  for (Complex& s : x) s -= mean;  // the converter's DC offset

  // A 40 MHz capture shows the short training's period at lag 32; an 80 MHz
  // one does not (at half its period the training's tones cancel), so it is
  // looked for at lag 64 next.
  std::optional<Preamble> preamble;
  int f = 0;
  for (int candidate : {2, 4}) {
    preamble = FindShortTraining(x, candidate);
    if (preamble) {
      f = candidate;
      break;
    }
  }
  if (!preamble) return report;
  const Demodulator demod(f);
  const auto n = static_cast<std::size_t>(demod.size());
  RemoveOffset(x, preamble->cycles);
  const auto first = FindLongTraining(x, demod, preamble->first);
  if (!first) return report;
  const std::size_t t1 = *first;

  // Fine frequency offset from the two long training symbols.
  Complex drift;
  for (std::size_t m = 0; m < n; ++m) drift += std::conj(x[t1 + m]) * x[t1 + n + m];
  const double fine = std::arg(drift) / (2.0 * kPi * static_cast<double>(n));
  RemoveOffset(x, fine);

  // Windows start a little into each guard interval, the same for all, so
  // the channel estimate absorbs the phase slope it causes.
  const std::size_t backoff = static_cast<std::size_t>(4 * f);
  const Carriers y1 = demod.carriers(x, t1 - std::min(backoff, t1));
  const Carriers y2 = demod.carriers(x, t1 + n - backoff);
  Carriers h{};
  double noise = 0;
  double signal = 0;
  for (int k = -26; k <= 26; ++k) {
    if (k == 0) continue;
    const auto i = static_cast<std::size_t>(k + 26);
    h[i] = (y1[i] + y2[i]) / (2.0 * kLongTraining[i]);
    noise += std::norm(y1[i] - y2[i]) / 2.0;
    signal += std::norm(h[i]);
  }
  if (signal <= 0) return report;
  const double noiseRatio = std::max(noise / signal, 1e-6);  // equalized noise variance

  // Symbols from SIGNAL (0) on, while they carry the frame's power.
  std::vector<Carriers> received;
  std::vector<Carriers> equalized;
  std::vector<double> phases;
  const std::size_t symbol = static_cast<std::size_t>(80 * f);
  const std::size_t guard = static_cast<std::size_t>(16 * f);
  for (std::size_t start = t1 + 2 * n + guard - backoff; start + n <= x.size(); start += symbol) {
    const Carriers y = demod.carriers(x, start);
    double phase = 0;
    const Carriers z = Equalize(y, h, phase);
    double power = 0;
    int carriers = 0;
    for (int k = -26; k <= 26; ++k)
      if (IsData(k)) {
        power += std::norm(z[static_cast<std::size_t>(k + 26)]);
        ++carriers;
      }
    if (power / carriers < kSymbolPresent) break;
    received.push_back(y);
    equalized.push_back(z);
    phases.push_back(phase);
  }
  if (static_cast<int>(received.size()) - 1 < kMinDataSymbols) return report;

  // The constellation: the most likely of the four given the measured noise.
  int bits = 1;
  double bestLikelihood = -std::numeric_limits<double>::infinity();
  for (int candidate : {1, 2, 4, 6}) {
    const double likelihood = LogLikelihood(equalized, Constellation(candidate), noiseRatio);
    if (likelihood > bestLikelihood) {
      bestLikelihood = likelihood;
      bits = candidate;
    }
  }
  const std::vector<Complex> points = Constellation(bits);
  const std::vector<Complex> signalPoints = Constellation(1);

  // The channel again, from the long training and every symbol's decisions.
  Carriers numerator{};
  std::array<double, kCarriers> weight{};
  for (int k = -26; k <= 26; ++k) {
    if (k == 0) continue;
    const auto i = static_cast<std::size_t>(k + 26);
    numerator[i] = (y1[i] + y2[i]) * static_cast<double>(kLongTraining[i]);
    weight[i] = 2.0;
  }
  for (std::size_t s = 0; s < received.size(); ++s) {
    const Complex rotation = std::polar(1.0, -phases[s]);
    for (int k = -26; k <= 26; ++k) {
      if (k == 0) continue;
      const auto i = static_cast<std::size_t>(k + 26);
      const Complex reference =
          IsPilot(k) ? PilotValue(k) : Nearest(s == 0 ? signalPoints : points, equalized[s][i]);
      numerator[i] += received[s][i] * rotation * std::conj(reference);
      weight[i] += std::norm(reference);
    }
  }
  Carriers refined{};
  for (std::size_t i = 0; i < refined.size(); ++i)
    if (weight[i] > 0) refined[i] = numerator[i] / weight[i];

  double error = 0;
  double reference = 0;
  for (std::size_t s = 1; s < received.size(); ++s) {
    double phase = 0;
    const Carriers z = Equalize(received[s], refined, phase);
    for (int k = -26; k <= 26; ++k) {
      if (!IsData(k)) continue;
      const Complex value = z[static_cast<std::size_t>(k + 26)];
      const Complex decided = Nearest(points, value);
      error += std::norm(value - decided);
      reference += std::norm(decided);
    }
  }
  report.frame = true;
  report.evmDb = 10.0 * std::log10(error / reference);
  report.oversampling = f;
  report.start = t1;
  report.offsetCycles = preamble->cycles + fine;
  report.dataSymbols = static_cast<int>(received.size()) - 1;
  report.bitsPerCarrier = bits;
  report.noiseDb = 10.0 * std::log10(noiseRatio);
  return report;
}

}  // namespace kqa::evm
