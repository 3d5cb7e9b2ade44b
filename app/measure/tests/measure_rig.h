#pragma once

#include <string_view>

#include "app/device/tests/emulated_rig.h"
#include "app/measure/noise_scan.h"

namespace kqa::measure::testing {

// The emulated Kestrel in a given radio environment (the environment file's
// format, chip/README.md), its receiver free of analog errors unless
// `impairments` keeps the part's defaults.
chip::KestrelOptions RadioRig(std::string_view environment, bool impairments = false);

// What the TX/RX page's channel change and receive toggle do to the chip, as
// far as the measurement pages rely on them: RF bank 0 R17-R21 from the
// channel table, the crystal at its factory trim (R12 = 0x24), and MAC 0x1004
// bit 3, and the channel state's index. It also copies EEPROM word 0x34 (the
// receive paths) into the context, as the TX/RX page does when it starts.
class RigTuner final : public NoiseScanTuner {
 public:
  explicit RigTuner(device::testing::RigBed& bed);
  RigTuner(device::DeviceContext& device, device::ConfigMemoryMode& memoryMode, device::ChannelState& channels);
  void selectChannel(int index) override;
  void toggleReceive() override;
  int toggles = 0;

 private:
  device::DeviceContext& device_;
  device::ChannelState& channels_;
};

}  // namespace kqa::measure::testing
