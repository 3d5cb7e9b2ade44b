#pragma once

#include <cstdint>
#include <optional>

#include "chip/chip_core.h"
#include "chip/radio/front_end.h"
#include "chip/radio/transmitter.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The BBP's sensor converter (R47 control, R49 result) and the RF
// synthesizer's VCO calibration (RF bank 0 R4 bit 7).
//
// R47: a write with bit 4 set starts a conversion of all channels; bit 4
// then reads 1 for 1 ms, and bit 6 reads 1 once results are ready (writes to
// bit 6 are ignored). The channels are sampled at the end of the conversion. Bits 0-2 choose what R49 shows:
//   0  TX0 power detector (TSSI)      4  temperature
//   1  last TX packet: bits 0-1 PHY mode, bits 4-7 rate (CCK: MCS bits 0-1;
//      OFDM: the SIGNAL rate code, 6 Mbps 0xB ... 54 Mbps 0xC)
//   2  last TX packet's MCS (HT)      5  TX1 power detector
// Temperature: 0x20 at 25 degrees C, one step per 3.89 degrees.
// TSSI: 24 (the detector's offset, drifting 0.1 per degree) plus 1.5 per mW
// of output power, twice that with RF bank 5 R3 bit 4 (high sensitivity),
// at most 255. The detector sees the continuous modes (BBP R22 bit 7, the
// carrier test R22 bits 0 and 6), the loopback test tone (R244 bits 4-5, 6 dB
// below full power) and packets sent within the last 10 ms. Output power:
// 8 dBm + 0.5 dB x (MAC 0x13B0 bits 0-5 + the signed ALC step of MAC 0x13B4
// bits 0-5) + the gain error, between -5 and 23 dBm; TX1 uses 0x13B0 bits
// 8-13.
//
// RF bank 0 R4: writing bit 7 starts a VCO calibration; the bit reads 1 for
// 1 ms, then 0.
class Sensors {
 public:
  static constexpr Clock::Duration kConversionTime = std::chrono::milliseconds(1);
  static constexpr Clock::Duration kVcoCalibrationTime = std::chrono::milliseconds(1);

  Sensors(ChipCore& core, const FrontEnd& frontEnd, const Transmitter& transmitter, double temperatureC);

  void setTemperature(double celsius) { temperatureC_ = celsius; }
  // The amplifier's gain error: the output is this far from what the power
  // registers ask for (0 dB at power-on), as a warm or aged part drifts.
  void setTxGainError(double db) { txGainErrorDb_ = db; }
  double temperature() const { return temperatureC_; }
  std::uint64_t vcoCalibrations() const { return vcoCalibrations_; }
  // Output power of TX path 0 or 1 as the registers set it.
  double outputPowerDbm(int path) const;
  void reset();

 private:
  std::uint8_t readControl();
  void writeControl(std::uint8_t value);
  std::uint8_t result();
  void convert();
  std::uint8_t tssi(int path) const;

  ChipCore& core_;
  FrontEnd frontEnd_;
  const Transmitter& transmitter_;
  double temperatureC_;
  double txGainErrorDb_ = 0.0;
  std::optional<Clock::Duration> conversionDone_;
  std::uint8_t results_[6] = {};
  bool ready_ = false;
  std::optional<Clock::Duration> vcoDone_;
  std::uint64_t vcoCalibrations_ = 0;
};

}  // namespace kqa::chip
