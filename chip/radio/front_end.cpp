#include "chip/radio/front_end.h"

#include <algorithm>
#include <cmath>

namespace kqa::chip {

FrontEnd FrontEnd::Of(Board board) {
  FrontEnd frontEnd;
  if (board == Board::Efuse) {
    frontEnd.txPaths = 1;
    frontEnd.fiveGhz = false;
  }
  return frontEnd;
}

std::uint8_t EncodeDescriptorRssi(double levelDbm, int offset, int bandLnaGain, bool wide, bool auxAntenna) {
  // The gain the AGC had to apply: LNA step plus VGA.
  const long total = std::lround(8.0 - offset - bandLnaGain - levelDbm);
  const int high = wide ? 34 : 33;
  const int mid = wide ? 16 : 15;
  const int low = (wide && !auxAntenna) ? 0 : -2;
  int step = 0;
  int stepGain = 0;
  if (total >= high) {
    step = 3;
    stepGain = high;
  } else if (total >= mid) {
    step = 2;
    stepGain = mid;
  } else if (total < 0) {
    step = 1;
    stepGain = low;
  }
  const long vga = std::clamp<long>(total - stepGain, 0, 63);
  return static_cast<std::uint8_t>(step << 6 | vga);
}

std::uint8_t EncodeRegisterRssi(double levelDbm, int offset, int bandLnaGain) {
  return static_cast<std::uint8_t>(std::clamp<long>(std::lround(-12.0 - offset - bandLnaGain - levelDbm), 1, 255));
}

std::uint8_t EncodeSnr(double snrDb) {
  return static_cast<std::uint8_t>(std::clamp<long>(std::lround(snrDb / 0.1881), 0, 255));
}

std::int8_t EncodeDeviation(double kHz) {
  return static_cast<std::int8_t>(std::clamp<long>(std::lround(kHz / 0.4), -128, 127));
}

}  // namespace kqa::chip
