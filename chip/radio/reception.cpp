#include "chip/radio/reception.h"

#include <cmath>

#include "chip/radio/random.h"

namespace kqa::chip {

namespace {

constexpr std::array<double, 3> kPathDeltaDb{0.0, -1.5, -3.0};  // antenna and cable differences
constexpr double kAdcNoiseDbm = -52.0;     // ADC noise at its input, referred to 0 dB gain
constexpr double kAdcClipDbm = -3.0;       // where the ADC clips, after the gain
constexpr double kEnergyDetectDbm = -82.0; // carrier sense on energy without a preamble
constexpr double kDetectSnrDb = 0.0;       // below this a preamble is not found

double PowerSumDb(double a, double b) { return 10.0 * std::log10(std::pow(10.0, a / 10.0) + std::pow(10.0, b / 10.0)); }

}  // namespace

double ManualGainDb(std::uint8_t r66) { return kLnaGainDb + 2.0 * (r66 & 0x3F); }

double ChannelRejectionDb(double offsetMHz, bool wide) {
  const double edge = wide ? 19.0 : 9.0;
  const double distance = std::abs(offsetMHz);
  if (distance <= edge) return 0.0;
  return 3.5 * (distance - edge) + 3.0;
}

double EffectiveNoiseDbm(double noiseFloorDbm, const ReceiverSettings& settings) {
  const double floor = noiseFloorDbm + (settings.wide ? 3.0 : 0.0);
  const double gain = settings.manualGain ? ManualGainDb(settings.vgaGain) : kAgcMaxGainDb;
  return PowerSumDb(floor, kAdcNoiseDbm - gain);
}

Reception Receive(const AirFrame& frame, const ReceiverSettings& settings, const FrontEnd& frontEnd,
                  double noiseFloorDbm, std::uint64_t seed) {
  Reception out;
  if (!settings.enabled || settings.tuning.centreMHz == 0.0) return out;
  const int channel = settings.tuning.channel;
  if (IsFiveGhz(frame.channel) && !frontEnd.fiveGhz) return out;

  Random random(Random::Mix(seed, frame.id));
  const double carrier = ChannelCentreMHz(frame.channel) * (1.0 + frame.ppm * 1e-6);
  const double offset = carrier - settings.tuning.centreMHz;
  const double inBand = frame.levelDbm - ChannelRejectionDb(offset, settings.wide);
  const double noise = EffectiveNoiseDbm(noiseFloorDbm, settings);

  double combined = 0.0;  // maximum-ratio combining over the paths
  for (int p = 0; p < frontEnd.rxPaths; ++p) {
    const auto i = static_cast<std::size_t>(p);
    out.levelDbm[i] = inBand + kPathDeltaDb[i] + 0.7 * random.gaussian();
    double snr = out.levelDbm[i] - noise;
    if (settings.manualGain && out.levelDbm[i] + ManualGainDb(settings.vgaGain) > kAdcClipDbm)
      snr = std::min(snr, 12.0);  // clipping distortion
    out.snrDb[i] = snr;
    combined += std::pow(10.0, snr / 10.0);
  }
  const double snr = 10.0 * std::log10(combined);
  out.deviationKHz = (frame.ppm - settings.crystalPpm) * settings.tuning.centreMHz / 1000.0;

  const bool onChannel = std::abs(offset) < 1.0 && channel != 0;
  const bool loud = inBand > kEnergyDetectDbm && snr > 4.0;
  using Result = Reception::Result;
  switch (frame.kind) {
    case AirFrame::Kind::Energy:
      out.result = loud ? Result::FalseCca : Result::Missed;
      return out;
    case AirFrame::Kind::PhyError:
      out.result = snr > kDetectSnrDb + 3.0 ? Result::PhyError : (loud ? Result::FalseCca : Result::Missed);
      return out;
    case AirFrame::Kind::Frame:
      break;
  }
  if (!onChannel) {
    out.result = loud ? Result::FalseCca : Result::Missed;
    return out;
  }
  if (snr < kDetectSnrDb) return out;
  const double required = RequiredSnrDb(frame.rate);
  const double perPerKilobyte = 1.0 / (1.0 + 9.0 * std::exp(1.5 * (snr - required)));
  const double bytes = static_cast<double>(frame.mpdu.size() + 4);
  const double per = 1.0 - std::pow(1.0 - perPerKilobyte, bytes / 1000.0);
  if (frame.corrupted || random.uniform() < per) {
    // The header goes at the most robust rate of the mode; when even that
    // fails the frame is a PHY error, otherwise it arrives with a bad FCS.
    const double header = frame.rate.mode == PhyMode::Cck ? 1.0 : 5.0;
    out.result = (!frame.corrupted && snr < header) ? Result::PhyError : Result::CrcError;
  } else {
    out.result = Result::Received;
  }
  return out;
}

}  // namespace kqa::chip
