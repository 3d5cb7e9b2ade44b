#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kqa::device {

// One 2.4 GHz channel and the RF bank 0 register values that tune it.
struct ChannelParams {
  std::uint32_t channel;
  double ghz;             // centre frequency
  double mhzTimes4Over3;  // shown by the RF page
  std::uint8_t r20;       // RF bank 0 R20, written whole on a channel change
  std::uint8_t r21Bit0;   // RF bank 0 R21 bit 0
  double unity;           // 1.0 in every row
  std::uint8_t r16Bits;   // RF bank 0 R16 bits 0..3
  std::uint8_t r22Bits;   // RF bank 0 R22 bits 0..2
  std::uint8_t r17;       // RF bank 0 R17
  std::uint8_t r18;       // RF bank 0 R18
  std::uint8_t r19Bits;   // RF bank 0 R19 bits 0..1
};

inline constexpr int kChannelCount = 14;

// Channels 1..14 in order.
std::span<const ChannelParams> ChannelParamTable();
// "    1  2412-MHz" ... "  14  2484-MHz", as the channel lists show them.
std::span<const std::string_view> ChannelNames();
// The channel numbers 1..14.
std::span<const std::uint16_t> ChannelList();

}  // namespace kqa::device
