#pragma once

#include <array>
#include <cstdint>

#include "chip/radio/air_frame.h"
#include "chip/radio/channel_plan.h"
#include "chip/radio/front_end.h"
#include "chip/radio/mac_frames.h"

namespace kqa::chip {

// The receiver's settings at one moment, taken from the chip's registers.
struct ReceiverSettings {
  bool enabled = false;      // MAC 0x1004 bit 3
  Tuning tuning;             // RF bank 0 synthesizer
  bool wide = false;         // BBP R4 bits 3-4 = 10: 40 MHz
  bool auxAntenna = false;   // BBP R152 bit 7
  bool manualGain = false;   // BBP R65 bit 7: the AGC is frozen at R66
  std::uint8_t vgaGain = 0;  // BBP R66 of path 0
  double crystalPpm = 0.0;   // the chip's own frequency error
};

// Gains of the receive chain (dB): the LNA's fixed gain plus twice the VGA
// setting of R66 bits 0-5 when the gain is manual; the AGC's ceiling
// otherwise.
constexpr double kLnaGainDb = 20.0;
constexpr double kAgcMaxGainDb = 76.0;
double ManualGainDb(std::uint8_t r66);

// What became of one transmission at the chip.
struct Reception {
  enum class Result { Missed, FalseCca, PhyError, CrcError, Received };
  Result result = Result::Missed;
  std::array<double, 3> levelDbm{};  // per receive path
  std::array<double, 3> snrDb{};
  double deviationKHz = 0.0;
};

// The receiver's verdict on `frame`, from the frame's level and channel, the
// noise on the chip's channel and the settings. Decodable frames are those
// on the tuned channel; their loss follows the SNR against the rate's
// requirement: PER = 1 / (1 + 9 exp(1.5 (SNR - required))) per 1000 bytes.
// Frames on neighbouring channels and bursts count as false CCA or PHY
// errors when they are loud enough in the chip's band. Draws come from the
// frame's own stream, so the verdict does not depend on processing order.
Reception Receive(const AirFrame& frame, const ReceiverSettings& settings, const FrontEnd& frontEnd,
                  double noiseFloorDbm, std::uint64_t seed);

// Attenuation (dB) of a signal `offsetMHz` from the tuned centre: the
// channel filter's passband and skirts.
double ChannelRejectionDb(double offsetMHz, bool wide);
// The noise the receiver works against: the channel's floor (per 20 MHz, 3 dB
// more at 40 MHz) plus the ADC's own noise referred to the input, which
// matters only when a low manual gain starves the ADC.
double EffectiveNoiseDbm(double noiseFloorDbm, const ReceiverSettings& settings);

}  // namespace kqa::chip
