#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "app/device/channel_table.h"

namespace kqa::device {

// The channel tables the pages list (start-up fills them from
// channel_table.h) and the channel the pages share: the index a channel
// change selected last (TX/RX, RF Page 1, Noise Level, FFT Graph).
struct ChannelState {
  std::span<const std::string_view> channelNameTable;
  std::span<const ChannelParams> channelParams;
  std::span<const std::uint16_t> channelList;
  int channelCount = 0;
  int channelIndex = 0;
};

}  // namespace kqa::device
