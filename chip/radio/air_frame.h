#pragma once

#include <cstdint>
#include <vector>

#include "chip/radio/phy_rate.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// One transmission on the air, as the world sends it.
struct AirFrame {
  enum class Kind {
    Frame,     // an 802.11 frame
    PhyError,  // a burst that starts like a frame and breaks off
    Energy,    // a burst that trips carrier sense but holds no preamble (false CCA)
  };

  std::uint64_t id = 0;  // unique; picks the frame's own random draws
  Kind kind = Kind::Frame;
  Clock::Duration start{};
  Clock::Duration end{};
  int channel = 1;
  double levelDbm = -60.0;  // at the chip's antenna
  double ppm = 0.0;         // the sender's frequency error
  PhyRate rate;
  bool corrupted = false;  // hit by a collision: its FCS fails at the chip
  bool toChip = false;     // address 1 is filled with the chip's station address on reception
  std::vector<std::uint8_t> mpdu;  // without FCS
};

}  // namespace kqa::chip
