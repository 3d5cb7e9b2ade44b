#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::chip {

using MacAddress = std::array<std::uint8_t, 6>;

inline constexpr MacAddress kBroadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// "02:4B:51:00:00:01" (colons or none).
std::optional<MacAddress> ParseMacAddress(std::string_view text);
std::string MacAddressText(const MacAddress& address);

// 802.11 frames as the stations around the chip send them, without FCS.
// Sequence numbers are 12-bit; they go into bits 4-15 of sequence control.
namespace frames {

std::vector<std::uint8_t> Beacon(const MacAddress& bssid, std::string_view ssid, int channel,
                                 std::uint64_t timestampUs, std::uint16_t sequence, bool fiveGhz);
std::vector<std::uint8_t> ProbeRequest(const MacAddress& station, std::uint16_t sequence, bool fiveGhz);
// A data frame between a station and its access point: toAp selects the
// direction (To DS from the station, From DS from the access point).
std::vector<std::uint8_t> Data(const MacAddress& station, const MacAddress& bssid, bool toAp,
                               std::uint16_t sequence, std::span<const std::uint8_t> body);
// A data frame outside any network (no DS bits): what a signal generator
// sends. The body follows the 24-byte header.
std::vector<std::uint8_t> PlainData(const MacAddress& receiver, const MacAddress& transmitter,
                                    std::uint16_t sequence, std::span<const std::uint8_t> body);
std::vector<std::uint8_t> NullFunction(const MacAddress& station, const MacAddress& bssid, std::uint16_t sequence);
std::vector<std::uint8_t> Ack(const MacAddress& receiver);
std::vector<std::uint8_t> Rts(const MacAddress& receiver, const MacAddress& transmitter, std::uint16_t durationUs);
std::vector<std::uint8_t> Cts(const MacAddress& receiver, std::uint16_t durationUs);

}  // namespace frames

// Frame control: type (0 management, 1 control, 2 data) and subtype.
inline int FrameType(std::span<const std::uint8_t> frame) { return frame.empty() ? -1 : (frame[0] >> 2) & 3; }
inline int FrameSubtype(std::span<const std::uint8_t> frame) { return frame.empty() ? -1 : frame[0] >> 4; }
// Address 1 (the receiver), when the frame holds one.
std::optional<MacAddress> ReceiverAddress(std::span<const std::uint8_t> frame);

}  // namespace kqa::chip
