#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/shell/page/outcome.h"

namespace kqa::registers {

// A channel's synthesiser values as RF page 1 shows them, taken from the
// channel table's RF bank 0 values: N = R20 (R21 bit 0 its bit 8),
// Ksd = R19 bits 0-1, R18, R17; R = 1 and K = D = 0 on every channel.
struct SynthesiserRow {
  int channel = 0;
  double ghz = 0;
  double vcoMhz = 0;  // the centre frequency x 4/3
  int n = 0;
  int k = 0;
  int d = 0;
  std::uint32_t ksd = 0;
};
SynthesiserRow SynthesiserRowOf(const device::ChannelParams& params);

// The VCO as the page shows it: "%.3f" on a Kestrel, "%.5f" on other chips.
std::string FormatVco(double mhz, std::uint32_t asicVersion);
// "channel %d VCO %s N %d K %d D %d Ksd 0x%X".
std::string FormatSynthesiserLine(const SynthesiserRow& row, std::uint32_t asicVersion);

// TX power codes run from 0 to 63 (0.5 dB steps); the frequency offset
// (RF bank 0 R12) from 0 to 255.
inline constexpr int kTxPowerMax = 63;
inline constexpr int kFrequencyOffsetMax = 255;
inline constexpr std::uint32_t kTxPowerRegister = 0x13B0;  // bits 0-5: TX power 0
inline constexpr std::uint32_t kTxPowerBits = 0x3F;
inline constexpr std::uint8_t kFrequencyOffsetRegister = 12;  // RF bank 0

// RF page 1's radio controls, without the widgets: the channel list with its
// synthesiser values, the TX power and frequency-offset spins and the chip
// info line. The channel index, the TX power and frequency-offset settings
// and the product id are shared with the other pages through the context;
// after a change the page tells the others (page::ChannelChanged,
// page::RadioSettingsChanged).
class RfRadioTool {
 public:
  using Outcome = page::Outcome;

  // The configuration memory gives the path counts; the channel state the
  // channel list and the shared channel index.
  RfRadioTool(device::ConfigMemory memory, device::ChannelState& channels);

  // The channel list: the context's channel names, index = channel index.
  std::vector<std::string> channelNames() const;
  int channelIndex() const;
  SynthesiserRow synthesiser() const;  // of the current channel
  std::string vcoText() const;
  // A channel chosen in the list: it becomes the shared channel index (the
  // page then has the sheet apply it). Refused outside the table.
  Outcome chooseChannel(int index);

  // Reads TX power 0 (MAC 0x13B0 bits 0-5) and the frequency offset (RF
  // bank 0 R12) from the chip while no page has set them yet.
  void loadSettings();
  // Paths from the configuration word 0x34 (bits 4-7 TX, 0-3 RX), read from
  // the configuration memory if no page has yet.
  int txPaths();
  int rxPaths();
  bool hasSecondTxPath() { return txPaths() >= 2; }
  // "%02X" of a path's TX power, "%03X" of the frequency offset.
  std::string txPowerText(int path) const;
  std::string frequencyOffsetText() const;

  // A spin step: the value the field shows (hexadecimal) plus `step`. A step
  // that would leave the range is ignored (Refused, without a message); a
  // field that is not hexadecimal is refused with a message.
  Outcome stepTxPower(int path, std::string_view shownText, int step);
  Outcome stepFrequencyOffset(std::string_view shownText, int step);
  // Sets the value: TX power 0 goes to MAC 0x13B0 bits 0-5 (read-modify-
  // write), TX power 1 is kept only in the settings (no register holds it),
  // the frequency offset goes to RF bank 0 R12. Each is stored in the shared
  // settings with the channel index. Refused, with a message, outside the
  // range or for TX power 1 on a chip with one transmit path.
  Outcome setTxPower(int path, int value);
  Outcome setFrequencyOffset(int value);

  // "VQ%X :: %d T %d R": the USB product id (read from the device
  // descriptor if no page has yet), the transmit and receive paths.
  std::string chipInfoLine();

 private:
  Outcome refuse(const std::string& message);

  device::DeviceContext& device_;
  device::ConfigMemoryMode& memoryMode_;
  device::ChannelState& channels_;
};

}  // namespace kqa::registers
