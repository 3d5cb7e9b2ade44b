#include "app/txrx/frame_presets.h"

#include <array>

namespace kqa::txrx {
namespace {

constexpr std::string_view kStation = "000A40112233";
constexpr std::string_view kSender = "000A40123456";
constexpr std::string_view kBss = "000A40AABBCC";
constexpr std::string_view kBroadcast = "FFFFFFFFFFFF";

// The management bodies carry the SSID "BENCHTOP" and the rates 82 84 8B 96.
constexpr std::array<FramePreset, kFrameTypeCount> kPresets = {{
    {"[  0] Assoc Req", "0000", "0000", kStation, kSender, kBss, "0000",
     "01000300000842454E4348544F50010482848B96", 44},
    {"[  1] Assoc Rsp", "1000", "0000", kStation, kSender, kBss, "0000", "0100000002C0010482848B96", 36},
    {"[  2] Reassoc Req", "2000", "0000", kStation, kSender, kBss, "0000",
     "010001000060B31668960003574C31010402040B16", 45},
    {"[  3] Reassoc Rsp", "3000", "0000", kStation, kSender, kBss, "0000", "0100000014C0010482848B96", 36},
    {"[  4] Probe Req", "4000", "0000", kBroadcast, kSender, kBroadcast, "0000", "0000010482840B16", 32},
    {"[  5] Probe Rsp", "5000", "0000", kStation, kSender, kBss, "0000",
     "BA13E9061400000064000100000842454E4348544F50010482848B96030103", 55},
    {"[  6] Beacon", "8000", "0000", kBroadcast, kSender, kBss, "0000",
     "BA13E9061400000064000100000842454E4348544F50010482848B96030103050401020000", 61},
    {"[  7] ATIM", "9000", "0000", kStation, kSender, kBss, "0000", "", 24},
    {"[  8] Disassoc", "A000", "0000", kStation, kSender, kBss, "0000", "0100", 26},
    {"[  9] Authentication", "B000", "F800", kStation, kSender, kBss, "2002", "000001000000", 30},
    {"[10] Deauthentication", "C000", "0000", kStation, kSender, kBss, "0000", "0100", 26},
    {"[11] PS-Poll", "A400", "0100", kStation, kSender, "", "", "", 16},
    {"[12] RTS", "B400", "0000", kStation, kSender, "", "", "", 16},
    {"[13] CTS", "C400", "0000", kSender, "", "", "", "", 10},
    {"[14] ACK", "D400", "0000", kSender, "", "", "", "", 10},
    {"[15] Data", "0800", "0000", kBroadcast, kSender, kBss, "0000", "", 1058},
    {"[16] Null Function", "4800", "0000", kStation, kSender, kBss, "0000", "", 24},
    {"[17] QoS Data", "0800", "0000", kBroadcast, kSender, kBss, "0000", "", 1058},
}};

}  // namespace

std::span<const FramePreset> FramePresets() { return kPresets; }

}  // namespace kqa::txrx
