#pragma once

#include "app/device/channel_state.h"
#include "app/device/device_context.h"
#include "app/measure/noise_scan.h"

namespace kqa::cli {

// What the measurement commands ask of the radio, which on the window the
// TX/RX page does for them: tune a channel, toggle reception, select the
// bandwidth. The noise scan tunes through it (NoiseScanTuner).
class MeasureRadio final : public measure::NoiseScanTuner {
 public:
  MeasureRadio(device::DeviceContext& device, device::ChannelState& channels)
      : device_(device), channels_(channels) {}

  // Tunes the 2.4 GHz channel `number` (1-14) and makes it the channel
  // state's channel; false when it cannot (the device layer has said why).
  bool tune(int number);
  // Whether 40 MHz can be selected: not yet (it is the TX/RX page's
  // bandwidth routine); 20 MHz is what the chip starts with.
  bool canSelectBandwidth() const { return false; }
  void selectBandwidth(int index);

  // NoiseScanTuner: a channel list index; reception on or off (MAC 0x1004 bit 3).
  void selectChannel(int index) override;
  void toggleReceive() override;

 private:
  device::DeviceContext& device_;
  device::ChannelState& channels_;
};

}  // namespace kqa::cli
