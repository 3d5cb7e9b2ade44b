#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/sniffer/capture_record.h"

namespace kqa::sniffer {

// The rate in Mbps for a PHY mode and rate index, as the list shows it:
//   CCK   0/8 1.0, 1/9 2.0, 2/10 5.5, 3/11 11.0 (8-11: short preamble)
//   OFDM  0-7: 6, 9, 12, 18, 24, 36, 48, 54
//   HT    0-7: 6.5 ... 65.0, 8-15: 13.0 ... 130.0, 32: 6.0
// nullopt for any other index (the list shows "0.0").
std::optional<double> RateMbps(PhyMode mode, std::uint8_t index);

// The 802.11 frame type and subtype of a frame control's first byte, as the
// "Protocol" column names them ("Beacon", "RTS", "Data", "Reserved", ...).
std::string_view ProtocolName(std::uint8_t frameControl);

inline int FrameType(std::uint8_t frameControl) {
  return (frameControl >> 2) & 3;
}
inline int FrameSubtype(std::uint8_t frameControl) {
  return frameControl >> 4;
}
inline bool IsBeacon(std::uint8_t frameControl) {
  return FrameType(frameControl) == 0 && FrameSubtype(frameControl) == 8;
}

}  // namespace kqa::sniffer
