#include "chip/baseband/receive_chain.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include "chip/baseband/frame_waveform.h"
#include "chip/radio/channel_plan.h"
#include "chip/radio/random.h"

namespace kqa::chip {

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr int kFilterHalf = 31;  // 63 taps
constexpr int kDelayHalf = 15;   // 31 taps
constexpr int kMargin = kFilterHalf + kDelayHalf;
constexpr double kAdcNoiseLsb = 0.5;  // per component

double Us(Clock::Duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Blackman(int k, int taps) {
  const double x = 2.0 * kPi * k / (taps - 1);
  return 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
}

double Sinc(double x) { return std::abs(x) < 1e-12 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

// The channel filter: a third-order Butterworth magnitude response
// (-3 dB at the cutoff, about -19 dB at twice it), sampled into 63 taps under
// a Blackman window. One table per sample rate.
std::vector<double> DesignChannelFilter(double cutoffMHz, double rateMHz) {
  const int taps = 2 * kFilterHalf + 1;
  constexpr int kPoints = 1024;
  std::vector<double> h(static_cast<std::size_t>(taps));
  double sum = 0;
  for (int n = 0; n < taps; ++n) {
    double tap = 0;
    for (int m = 0; m < kPoints; ++m) {
      const double f = (m + 0.5) * (rateMHz / 2.0) / kPoints;
      const double magnitude = 1.0 / std::sqrt(1.0 + std::pow(f / cutoffMHz, 6.0));
      tap += magnitude * std::cos(2.0 * kPi * f * (n - kFilterHalf) / rateMHz);
    }
    h[static_cast<std::size_t>(n)] = tap * Blackman(n, taps);
    sum += h[static_cast<std::size_t>(n)];
  }
  for (auto& tap : h) tap /= sum;
  return h;
}

const std::vector<double>& ChannelFilter(bool wide) {
  static const std::vector<double> narrow = DesignChannelFilter(9.5, 40.0);
  static const std::vector<double> broad = DesignChannelFilter(19.0, 80.0);
  return wide ? broad : narrow;
}

std::vector<double> FractionalDelay(double samples) {
  const int taps = 2 * kDelayHalf + 1;
  std::vector<double> h(static_cast<std::size_t>(taps));
  double sum = 0;
  for (int k = 0; k < taps; ++k) {
    h[static_cast<std::size_t>(k)] = Sinc(k - kDelayHalf + samples) * Blackman(k, taps);
    sum += h[static_cast<std::size_t>(k)];
  }
  for (auto& tap : h) tap /= sum;
  return h;
}

double Amplitude(double dbm, double gainDb) { return kAdcLsbAtZeroDbm * std::pow(10.0, (dbm + gainDb) / 20.0); }

// The LO's own frequency.
double LoMHz(const ChainInput& input) {
  return input.receiver.tuning.centreMHz * (1.0 + input.receiver.crystalPpm * 1e-6);
}

double CarrierMHz(const AirFrame& frame) { return ChannelCentreMHz(frame.channel) * (1.0 + frame.ppm * 1e-6); }

bool Overlaps(const AirFrame& frame, Clock::Duration start, Clock::Duration end) {
  return frame.start < end && frame.end > start;
}

double InBandNoiseDbm(const ChainInput& input) { return input.noiseFloorDbm + (input.receiver.wide ? 3.0 : 0.0); }

}  // namespace

double SampleRateMHz(bool wide) { return wide ? 80.0 : 40.0; }

double ChainGainDb(const ChainInput& input, Clock::Duration start, std::size_t count) {
  if (input.receiver.manualGain) return ManualGainDb(input.receiver.vgaGain);
  const double rate = SampleRateMHz(input.receiver.wide);
  const auto end = start + std::chrono::nanoseconds(static_cast<std::int64_t>(count * 1000.0 / rate));
  double peak = InBandNoiseDbm(input);
  if (input.bandSupported && input.receiver.tuning.centreMHz > 0) {
    for (const AirFrame* frame : input.frames) {
      if (!Overlaps(*frame, start, end)) continue;
      peak = std::max(peak, frame->levelDbm - ChannelRejectionDb(CarrierMHz(*frame) - LoMHz(input), input.receiver.wide));
    }
    if (input.tone) {
      const double f = ChannelCentreMHz(input.tone->channel) + input.tone->offsetMHz - LoMHz(input);
      peak = std::max(peak, input.tone->levelDbm - ChannelRejectionDb(f, input.receiver.wide));
    }
  }
  if (input.testTone) peak = std::max(peak, input.testTone->levelDbm);
  return std::min(kAgcMaxGainDb, kAgcTargetDbm - peak);
}

std::vector<Complex> RenderAdc(const ChainInput& input, Clock::Duration start, std::size_t count) {
  const bool wide = input.receiver.wide;
  const double rate = SampleRateMHz(wide);
  const double gain = ChainGainDb(input, start, count);
  const std::size_t total = count + 2 * kMargin;
  const double t0 = Us(start) - kMargin / rate;  // microseconds of raw sample 0
  std::vector<Complex> raw(total);

  // Noise over the whole sampled band; the channel filter shapes it.
  const auto firstSample = static_cast<std::int64_t>(std::floor(t0 * rate));
  Random noise(Random::Mix(input.seed ^ 0x4E4F495345ull ^ input.salt, static_cast<std::uint64_t>(firstSample)));
  const double noiseDbm = InBandNoiseDbm(input) + 10.0 * std::log10(rate / (wide ? 40.0 : 20.0));
  const double sigma = Amplitude(noiseDbm, gain) / std::sqrt(2.0);
  for (auto& s : raw) {
    const double i = noise.gaussian();
    s = Complex(i, noise.gaussian()) * sigma;
  }

  const double lo = LoMHz(input);
  const auto windowEnd = start + std::chrono::nanoseconds(static_cast<std::int64_t>((count + kMargin) * 1000.0 / rate));
  const auto windowStart = start - std::chrono::nanoseconds(static_cast<std::int64_t>(kMargin * 1000.0 / rate));
  if (input.bandSupported && input.receiver.tuning.centreMHz > 0) {
    for (const AirFrame* frame : input.frames) {
      if (!Overlaps(*frame, windowStart, windowEnd)) continue;
      const double offset = CarrierMHz(*frame) - lo;
      if (std::abs(offset) > rate / 2.0 - 1.0) continue;  // the anti-alias filter takes it
      const double amplitude = Amplitude(frame->levelDbm, gain);
      const double frameStartUs = Us(frame->start);
      if (frame->kind == AirFrame::Kind::Energy) {
        Random burst(Random::Mix(input.seed, frame->id));
        for (std::size_t j = 0; j < total; ++j) {
          const double t = t0 + j / rate;
          if (t < frameStartUs || t >= Us(frame->end)) continue;
          const double i = burst.gaussian();
          raw[j] += Complex(i, burst.gaussian()) * (amplitude / std::sqrt(2.0));
        }
        continue;
      }
      FrameWaveform waveform(frame->rate, Us(frame->end - frame->start), rate, Random::Mix(input.seed, frame->id));
      for (std::size_t j = 0; j < total; ++j) {
        const double t = t0 + j / rate;
        const auto m = static_cast<std::int64_t>(std::llround((t - frameStartUs) * rate));
        const Complex s = waveform.at(m);
        if (s == Complex{}) continue;
        raw[j] += s * amplitude * std::polar(1.0, 2.0 * kPi * std::fmod(offset * t, 1.0));
      }
    }
    if (input.tone) {
      const double f = ChannelCentreMHz(input.tone->channel) + input.tone->offsetMHz - lo;
      if (std::abs(f) < rate / 2.0 - 1.0) {
        const double amplitude = Amplitude(input.tone->levelDbm, gain);
        for (std::size_t j = 0; j < total; ++j)
          raw[j] += std::polar(amplitude, 2.0 * kPi * std::fmod(f * (t0 + j / rate), 1.0));
      }
    }
  }
  if (input.testTone) {
    const double amplitude = Amplitude(input.testTone->levelDbm, gain);
    const double f = input.testTone->frequencyMHz;
    for (std::size_t j = 0; j < total; ++j) raw[j] += std::polar(amplitude, 2.0 * kPi * std::fmod(f * (t0 + j / rate), 1.0));
  }

  // Channel filter.
  const auto& h = ChannelFilter(wide);
  std::vector<Complex> filtered(total);
  for (std::size_t j = kFilterHalf; j + kFilterHalf < total; ++j) {
    Complex sum;
    for (std::size_t k = 0; k < h.size(); ++k) sum += raw[j - kFilterHalf + k] * h[k];
    filtered[j] = sum;
  }

  // IQ imbalance: gain and phase, then Q's delay; I waits for the delay
  // filter's centre tap.
  const auto& iq = input.impairments;
  const double gi = 1.0 + iq.gainImbalance / 2.0;
  const double gq = 1.0 - iq.gainImbalance / 2.0;
  const double phase = iq.phaseDeg * kPi / 180.0;
  const auto delay = FractionalDelay(iq.groupDelayNs * rate / 1000.0);
  const auto skewedQ = [&](std::size_t j) {
    return gq * (filtered[j].imag() * std::cos(phase) + filtered[j].real() * std::sin(phase));
  };
  std::vector<Complex> out(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t j = i + kMargin;
    double q = 0;
    for (std::size_t k = 0; k < delay.size(); ++k) q += delay[k] * skewedQ(j - kDelayHalf + k);
    // The converter's own noise, which also dithers its steps.
    const double ni = noise.gaussian();
    out[i] = Complex(gi * filtered[j].real() + iq.dcI + kAdcNoiseLsb * ni, q + iq.dcQ + kAdcNoiseLsb * noise.gaussian());
  }
  return out;
}

std::int8_t Quantize8(double lsb) { return static_cast<std::int8_t>(std::clamp(std::lround(lsb), -128L, 127L)); }

std::int8_t Quantize6(double lsb) { return static_cast<std::int8_t>(std::clamp(std::lround(lsb / 4.0), -32L, 31L)); }

}  // namespace kqa::chip
