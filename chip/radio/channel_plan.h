#pragma once

#include "chip/rf_registers.h"

namespace kqa::chip {

// Where the RF synthesizer is tuned. A channel change writes RF bank 0:
// the integer divider N in R20 (bit 8 in R21 bit 0) and the 18-bit fraction K
// in R19 bits 0-1 (high), R18 and R17 (low). The VCO runs at
// 40 MHz x (N + K / 2^18) and the carrier is 3/4 of it:
//   centre = 30 MHz x (N + K / 2^18)
// e.g. channel 1: N = 0x50, K = 0x19999 gives 2412.0 MHz. R16 and R22 (band
// and VCO range) do not move the carrier.
struct Tuning {
  double centreMHz = 0.0;  // 0 while the synthesizer is not programmed
  int channel = 0;         // the 802.11 channel at that centre; 0 when off the raster
};

Tuning SynthesizerTuning(const RfRegisters& rf);

// 2.4 GHz channels 1-14 and 5 GHz channels 36-173 (5000 + 5c MHz); 0 for
// anything else.
double ChannelCentreMHz(int channel);
// The channel whose centre lies within 1 MHz of `mhz`, or 0.
int ChannelAt(double mhz);
bool IsFiveGhz(int channel);

}  // namespace kqa::chip
