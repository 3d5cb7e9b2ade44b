#pragma once

#include <array>
#include <cstdint>

#include "chip/kestrel_options.h"

namespace kqa::chip {

// The board's radio front end: how many paths it has and the true errors of
// its RSSI measurement, which its factory EEPROM records (RSSI offsets at
// 0x46-0x4C, LNA gain at 0x44). A page that applies the EEPROM's values to
// the chip's raw readings therefore gets the true level.
struct FrontEnd {
  int rxPaths = 2;
  int txPaths = 2;
  bool fiveGhz = true;
  std::array<int, 3> rssiOffset24{2, 3, 0};
  std::array<int, 3> rssiOffset5{4, 4, 0};
  int lnaGain24 = 10;  // dB
  int lnaGain5 = 12;

  int rssiOffset(int path, bool fiveGhzChannel) const {
    return (fiveGhzChannel ? rssiOffset5 : rssiOffset24)[static_cast<std::size_t>(path)];
  }
  int lnaGain(bool fiveGhzChannel) const { return fiveGhzChannel ? lnaGain5 : lnaGain24; }

  // E: dual band, 2 TX 2 RX; F: 2.4 GHz, 1 TX 2 RX.
  static FrontEnd Of(Board board);
};

// How the receiver reports a level.
//
// RSSI in the RX descriptor: bits 6-7 the LNA step, bits 0-5 the VGA gain,
// the AGC's settings for the frame, with
//   level = 8 - offset - LNA gain - VGA - band LNA gain
// and LNA gains 33/15/-2/0 dB for steps 3/2/1/0 at 20 MHz (34/16 at 40 MHz,
// where step 1 gives 0 dB on the main antenna and -2 dB on the auxiliary).
std::uint8_t EncodeDescriptorRssi(double levelDbm, int offset, int bandLnaGain, bool wide, bool auxAntenna);
// BBP R50-R52: level = -12 - offset - value - band LNA gain; 0 means no
// reading, so a level too strong to show reads 1.
std::uint8_t EncodeRegisterRssi(double levelDbm, int offset, int bandLnaGain);
// SNR in the RX descriptor, in steps of 0.1881 dB.
std::uint8_t EncodeSnr(double snrDb);
// Frequency deviation (BBP R57, RX descriptor byte 15): signed, 0.4 kHz steps.
std::int8_t EncodeDeviation(double kHz);

}  // namespace kqa::chip
