#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"

namespace kqa::measure {

enum class NoiseBand { TwoPointFour, Five };

// What the scan asks of the TX/RX page (through the sheet on the window,
// directly elsewhere): tune to a channel of the channel list, and the page's
// receive start/stop toggle.
class NoiseScanTuner {
 public:
  virtual void selectChannel(int index) = 0;
  virtual void toggleReceive() = 0;

 protected:
  ~NoiseScanTuner() = default;
};

// One channel's result: the trimmed mean RSSI of each measured path, in
// dBm (paths beyond the board's count stay empty).
struct NoiseChannelResult {
  int index = 0;  // in the channel list
  std::array<std::optional<int>, 3> rssi{};
};

// Where a channel index shows on the page: the list (1000, 1001, 1377,
// 1378) and its column (1-based; column 0 holds the row labels).
struct NoiseColumn {
  int list = 0;
  int column = 0;
};
NoiseColumn NoiseColumnOf(int index);

// The integer mean, truncated toward zero, of the 4th to 7th smallest of ten
// samples.
int TrimmedMean(std::array<int, 10> samples);

// One RSSI sample in dBm: -12 - offset - R - gain, or -100 when R reads 0
// (register and gain unsigned bytes, the offset a signed byte).
int RssiSample(std::uint8_t reg, std::int8_t offset, std::uint8_t gain);

// The channel indices a band's scan covers: 2.4 GHz indices 0..13; 5 GHz
// indices 14..52, as far as the channel list reaches (the Kestrel's list has
// 14 entries, so its 5 GHz scan measures nothing).
std::vector<int> NoiseScanChannels(const device::ChannelState& channels, NoiseBand band);

struct NoiseScanOptions {
  NoiseBand band = NoiseBand::TwoPointFour;
  std::array<std::int8_t, 3> offsets{};  // the TX/RX page's three "Offset" fields
};

// The noise-level scan: per channel, tune, set R66 := 0x10, R69 := R70 :=
// 0x40, start reception, take ten readings of R50..R52 (10 ms apart at
// 2.4 GHz, 5 ms at 5 GHz), stop reception, and report each path's trimmed
// mean; the gain is the low (2.4 GHz) or high (5 GHz) byte of EEPROM word
// 0x44, the path count the low nibble of eepromWord34. Restores the channel
// and R66, R69, R70 at the end. A raised `stop` ends after the current
// channel. `onChannel` hears each channel's result as it is measured. The
// channels are the channel state's (its count and the index to return to).
std::vector<NoiseChannelResult> RunNoiseScan(device::DeviceContext& device,
                                             device::ConfigMemoryMode& memoryMode,
                                             const device::ChannelState& channels,
                                             NoiseScanTuner& tuner,
                                             const NoiseScanOptions& options,
                                             const std::atomic<bool>* stop = nullptr,
                                             const std::function<void(const NoiseChannelResult&)>& onChannel = {});

}  // namespace kqa::measure
