#include "app/sniffer/frame_tables.h"

#include <array>

namespace kqa::sniffer {

namespace {

constexpr std::array<double, 4> kCck{1.0, 2.0, 5.5, 11.0};
constexpr std::array<double, 8> kOfdm{6.0, 9.0, 12.0, 18.0, 24.0, 36.0, 48.0, 54.0};
constexpr std::array<double, 16> kHt{6.5,  13.0, 19.5, 26.0, 39.0, 52.0,  58.5,  65.0,
                                     13.0, 26.0, 39.0, 52.0, 78.0, 104.0, 117.0, 130.0};
constexpr double kHtMcs32 = 6.0;

constexpr std::array<std::string_view, 16> kManagement{"Assoc. request",   "Assoc. response",
                                                       "ReAssoc. request", "ReAssoc. response",
                                                       "Probe request",    "Probe response",
                                                       "Reserved",         "Reserved",
                                                       "Beacon",           "ATIM",
                                                       "DisAssociation",   "Authentication",
                                                       "DeAuthentication", "Reserved",
                                                       "Reserved",         "Reserved"};
constexpr std::array<std::string_view, 16> kControl{
    "Reserved", "Reserved", "Reserved", "Reserved",       "Reserved", "Reserved",
    "Reserved", "Reserved", "Reserved", "Reserved",       "PS-Poll",  "RTS",
    "CTS",      "ACK",      "CF-End",   "CF-End + CF-ACK"};
constexpr std::array<std::string_view, 16> kData{
    "Data",          "Data + CF-Ack", "Data + CF-Poll", "Data + CF-ACK + CF-Poll",
    "Null function", "CF-Ack",        "CF-Poll",        "CF-Ack + CF-Poll",
    "Reserved",      "Reserved",      "Reserved",       "Reserved",
    "Reserved",      "Reserved",      "Reserved",       "Reserved"};

}  // namespace

std::optional<double> RateMbps(PhyMode mode, std::uint8_t index) {
  switch (mode) {
    case PhyMode::Cck:
      if (index < 4) return kCck[index];
      if (index >= 8 && index < 12) return kCck[index - 8];
      return std::nullopt;
    case PhyMode::Ofdm:
      if (index < kOfdm.size()) return kOfdm[index];
      return std::nullopt;
    case PhyMode::HtMixed:
    case PhyMode::HtGreenfield:
      if (index < kHt.size()) return kHt[index];
      if (index == 32) return kHtMcs32;
      return std::nullopt;
  }
  return std::nullopt;
}

std::string_view ProtocolName(std::uint8_t frameControl) {
  const auto subtype = static_cast<std::size_t>(FrameSubtype(frameControl));
  switch (FrameType(frameControl)) {
    case 0:
      return kManagement[subtype];
    case 1:
      return kControl[subtype];
    case 2:
      return kData[subtype];
    default:
      return "Reserved";
  }
}

}  // namespace kqa::sniffer
