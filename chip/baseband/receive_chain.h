#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <vector>

#include "chip/radio/air_frame.h"
#include "chip/radio/environment.h"
#include "chip/radio/reception.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The receiver's analog errors, applied to everything it hears.
struct IqImpairments {
  double gainImbalance = 0.0;  // g: I amplitude x (1 + g/2), Q x (1 - g/2)
  double phaseDeg = 0.0;       // Q = sin(wt + phase) for I = cos(wt)
  double groupDelayNs = 0.0;   // Q lags I by this much
  double dcI = 0.0;            // DC at the ADC, in LSB
  double dcQ = 0.0;
};

// A tone injected at baseband behind the antenna: the BBP's loopback test
// tone of R244.
struct TestTone {
  double frequencyMHz = 0.0;
  double levelDbm = -40.0;
};

// Everything that shapes what the ADC sees during one window.
struct ChainInput {
  ReceiverSettings receiver;
  double noiseFloorDbm = -95.0;  // of the tuned channel, per 20 MHz
  bool bandSupported = true;     // the front end covers the tuned band
  IqImpairments impairments;
  std::vector<const AirFrame*> frames;  // transmissions that may overlap the window
  std::optional<Tone> tone;             // the signal generator's continuous wave
  std::optional<TestTone> testTone;
  std::uint64_t seed = 0;
  std::uint64_t salt = 0;  // a fresh measurement of the same moment draws fresh noise
};

// The receive chain from antenna to ADC: the air's signals and the channel's
// noise, mixed down with the chip's LO error, through the channel filter
// (third-order roll-off from 9.5 MHz, or 19 MHz at 40 MHz), the gain (R66 when manual, else the
// AGC holding the strongest signal at -15 dBFS, at most 76 dB), the IQ
// imbalance, group delay, DC offset and the ADC's own noise (0.5 LSB per
// component). 0 dBm after the gain is a complex
// RMS of 160 LSB; the ADC holds -128..127. Samples are returned before
// quantization, in LSB; sample n is at start + n / rate.
constexpr double kAdcLsbAtZeroDbm = 160.0;
constexpr double kAgcTargetDbm = -15.0;

double SampleRateMHz(bool wide);
double ChainGainDb(const ChainInput& input, Clock::Duration start, std::size_t count);
std::vector<std::complex<double>> RenderAdc(const ChainInput& input, Clock::Duration start, std::size_t count);
// The ADC's 8-bit two's complement, and the 6-bit converter's value.
std::int8_t Quantize8(double lsb);
std::int8_t Quantize6(double lsb);

}  // namespace kqa::chip
