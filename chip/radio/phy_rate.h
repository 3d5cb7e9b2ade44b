#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock/clock.h"

namespace kqa::chip {

// The PHY modes of the descriptors (bits 30-31 of TX descriptor word 0 and
// RX descriptor word 1).
enum class PhyMode : std::uint8_t { Cck = 0, Ofdm = 1, HtMixed = 2, HtGreenfield = 3 };

// One modulation and coding choice, coded as the descriptors code it:
//   CCK   MCS bits 0-1: 1, 2, 5.5, 11 Mbps; bit 3: short preamble
//   OFDM  MCS 0-7: 6, 9, 12, 18, 24, 36, 48, 54 Mbps
//   HT    MCS 0-15 (8-15 two spatial streams) and 32
struct PhyRate {
  PhyMode mode = PhyMode::Ofdm;
  std::uint8_t mcs = 0;
  bool wide = false;     // 40 MHz (HT only)
  bool shortGi = false;  // HT only

  bool operator==(const PhyRate&) const = default;

  bool isOfdm() const { return mode != PhyMode::Cck; }
  bool isHt() const { return mode == PhyMode::HtMixed || mode == PhyMode::HtGreenfield; }
  int spatialStreams() const { return isHt() && mcs >= 8 && mcs <= 15 ? 2 : 1; }
  // The rate as the receiver reports it (RX descriptor word 1 bits 16-22):
  // CCK keeps bits 0-1 and the short-preamble bit 3, OFDM bits 0-2.
  std::uint8_t reportedMcs() const;
};

double RateMbps(const PhyRate& rate);
// SNR at which one frame in ten of 1000 bytes is lost (textbook figures for a
// receiver with a 6 dB noise figure, referred to the channel's noise floor).
double RequiredSnrDb(const PhyRate& rate);
// How long a frame of `mpduBytes` (without FCS; the FCS is added here) takes
// on the air, preamble included.
Clock::Duration AirTime(const PhyRate& rate, std::size_t mpduBytes);

// The 4-bit rate code of an OFDM frame's SIGNAL field (6 Mbps: 0xB ... 54
// Mbps: 0xC), which the TX packet information reports.
std::uint8_t OfdmSignalRate(std::uint8_t mcs);

// Names in environment files: "cck-1", "cck-2", "cck-5.5", "cck-11" (a
// trailing "s" gives the short preamble, e.g. "cck-11s"), "ofdm-6" ...
// "ofdm-54", "ht-0" ... "ht-15", "ht-32".
std::optional<PhyRate> ParsePhyRate(std::string_view name);
std::string PhyRateName(const PhyRate& rate);

}  // namespace kqa::chip
