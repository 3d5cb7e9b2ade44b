#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/sniffer/packet_row.h"

namespace kqa::sniffer {

// The page's filter and option check boxes with their defaults, and the MAC
// address filter. Only "Beacon", "CRC Error" and the address decide what is
// kept; "PHY Error", "OFDM" and "11b" keep their state only.
struct CaptureFilter {
  bool phyError = true;
  bool crcError = true;  // list frames with a CRC error
  bool beacon = true;    // list beacons
  bool ofdm = true;
  bool cck = true;       // "11b"
  MacAddress address{};  // all zero: every address

  // Whether a received record is listed: a beacon only with "Beacon"
  // checked, a frame with a CRC error only with "CRC Error" checked, and
  // with an address set only a frame whose Address1, Address2 or Address3
  // equals it.
  bool keeps(const PacketRow& row) const;
};

inline constexpr std::string_view kDefaultMacFilterText = "000000000000";

// The MAC filter text as 12 hexadecimal digits (blanks around them are
// ignored); nullopt for anything else, so that a typo never turns into an
// address that silently filters everything out.
std::optional<MacAddress> ParseMacFilter(std::string_view text);
// The message for a MAC filter text ParseMacFilter refused.
std::string MacFilterProblem(std::string_view text);

// The check boxes that decide the capture, named for the command line:
// "beacon" and "crc-error" (the frame kinds to keep), comma-separated; the
// kinds not named are left out; "none" names none. False, with the filter
// unchanged, for an unknown name; `problem` then says which.
bool ApplyFrameKinds(CaptureFilter& filter, std::string_view list, std::string& problem);

}  // namespace kqa::sniffer
