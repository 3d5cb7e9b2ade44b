#include "chip/radio/channel_plan.h"

#include <cmath>

namespace kqa::chip {

Tuning SynthesizerTuning(const RfRegisters& rf) {
  const int n = rf.stored(0, 20) | ((rf.stored(0, 21) & 1) << 8);
  const int k = (rf.stored(0, 19) & 3) << 16 | rf.stored(0, 18) << 8 | rf.stored(0, 17);
  if (n == 0) return {};
  Tuning tuning;
  tuning.centreMHz = 30.0 * (n + k / 262144.0);
  tuning.channel = ChannelAt(tuning.centreMHz);
  return tuning;
}

double ChannelCentreMHz(int channel) {
  if (channel >= 1 && channel <= 13) return 2407.0 + 5.0 * channel;
  if (channel == 14) return 2484.0;
  if (channel >= 36 && channel <= 173) return 5000.0 + 5.0 * channel;
  return 0.0;
}

int ChannelAt(double mhz) {
  if (mhz < 2400.0) return 0;
  if (std::abs(mhz - 2484.0) <= 1.0) return 14;
  if (mhz < 3000.0) {
    const int channel = static_cast<int>(std::lround((mhz - 2407.0) / 5.0));
    return channel >= 1 && channel <= 13 && std::abs(mhz - ChannelCentreMHz(channel)) <= 1.0 ? channel : 0;
  }
  const int channel = static_cast<int>(std::lround((mhz - 5000.0) / 5.0));
  return channel >= 36 && channel <= 173 && std::abs(mhz - ChannelCentreMHz(channel)) <= 1.0 ? channel : 0;
}

bool IsFiveGhz(int channel) { return channel >= 36; }

}  // namespace kqa::chip
