#pragma once

#include <cstdint>
#include <string>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/txrx/bench_calibrations.h"
#include "app/txrx/chip_registers.h"

namespace kqa::txrx {

enum class DacChoice { Both, Dac0, Dac1 };  // "Both DACs", "DAC 0", "DAC 1"
enum class Antenna { Main, Aux };

// What a channel change shows on the TX/RX page.
struct ChannelReadout {
  std::string extLna;           // "ExtLNA = %d"
  std::string tx0Power;         // "%02X"
  std::string tx1Power;         // "%02X", with two or more TX paths
  std::string frequencyOffset;  // "%02X"
  std::string rssiOffset0;      // "%02x"
  std::string rssiOffset1;
};

// The radio steps of the TX/RX bench without its page: channel, bandwidth,
// PHY mode and rate, the DACs and antennas, the receive paths and the 40
// MHz side band, with every register step. The TX/RX page drives one; the
// command line and the measurement tools may drive their own (with a
// receive flag of their own).
//
// The channel index is the shared ChannelState's, mode and rate live in
// the device context; the band LNA gains and the page's choices are kept
// here. The configuration words are read through `memory`.
class RadioControl {
 public:
  // `receiving` is the bench's RX-running flag, which the firmware command
  // exchange needs.
  RadioControl(device::ConfigMemory memory, device::ChannelState& channels, bool& receiving,
               BenchCalibrations& calibrations);

  // The page's choices that the steps read.
  bool wide = false;  // "Bandwidth" 40
  DacChoice dac = DacChoice::Both;
  Antenna antenna = Antenna::Main;
  bool sideBandOption = false;  // "2.4G Side Band Option"
  bool tssi = false;            // "TSSI": TX0 power from EEPROM 0xD0
  bool activated = false;       // the page's activation is complete
  std::uint8_t lnaGain24 = 0;   // band LNA gains in dB (EEPROM word 0x44)
  std::uint8_t lnaGain5 = 0;

  int channelIndex() const;
  int channelNumber() const;
  bool fiveGhz() const;
  // The band LNA gain of the current channel's band.
  int bandLnaGain() const { return fiveGhz() ? lnaGain5 : lnaGain24; }
  int txPaths() const;
  int rxPaths() const;

  // Reads the configuration words 0x34, 0x36 and 0x42 into the context
  // (BBP R66 is then written for each receive path) and the band LNA gains
  // of word 0x44. False when a read failed (the device layer said so).
  bool loadConfiguration();

  // Channel change to list index `index` (clamped to the list).
  ChannelReadout selectChannel(int index);
  // Bandwidth 20 MHz (false) or 40 MHz (true).
  void selectBandwidth(bool wide40);
  // Mode change: the mode's rate list and its default rate, then the rate's
  // steps. The frame type decides nothing here; the page shows RDG for it.
  void selectMode(int mode);
  // Rate change within the current mode: a two-stream HT rate checks "Both
  // DACs" and applies it.
  void selectRate(int rateIndex);
  // The per-rate power registers (0x1314-0x1324, 0x13D4-0x13DC), from the
  // EEPROM or 0 with the side-band option, then a 50 ms wait and the 40 MHz
  // power delta.
  void applyRatePowers();
  void applyDac(DacChoice choice);
  void selectAntenna(Antenna choice);
  // "One RX Path" and the entry of the receive-path list ("RX 1", ...,
  // "RX 0"; see RxPathNames).
  void selectRxPaths(bool onePath, int entry);
  // "TxBandSel": the upper or lower 40 MHz side band for legacy rates.
  void selectTxBand(bool upper);
  // RF VCO calibration: RF bank 0 R4 |= 0x80, wait 5 ms.
  void vcoCalibration();

  // A firmware function command (command 31), sent only while the firmware
  // runs. Returns what the exchange returned (0 answered, -1 not).
  int sendFunction(std::uint32_t function, std::uint32_t parameter);
  // Function 6 with bit 0 set and bit 16 as given, then with bits 0-7 clear.
  void pulseFunction6(std::uint32_t bits);

  // For a process that did not make the radio's state (a later command
  // line): the channel from the synthesizer registers, the bandwidth from
  // BBP R4, the antenna from R152 and the DACs from R1.
  void adoptChipState();

  ChipRegisters& registers() { return registers_; }
  device::DeviceContext& device() { return device_; }
  device::ConfigMemory configMemory() { return {device_, memoryMode_}; }
  device::ChannelState& channels() { return channels_; }

 private:
  void tuneSynthesizer(int index);
  std::uint8_t powerByte(std::uint16_t address);
  void applyBandwidthPowerDelta();
  void reloadFiveGhzGain(int channel);

  device::DeviceContext& device_;
  device::ConfigMemoryMode& memoryMode_;
  device::ChannelState& channels_;
  bool& receiving_;
  BenchCalibrations& calibrations_;
  ChipRegisters registers_;
};

// The names of the receive-path list for `paths` receive paths: "RX 1" up
// to "RX paths-1", then "RX 0".
std::vector<std::string> RxPathNames(int paths);

// The 5 GHz channels in the order of the EEPROM's power bytes.
int FiveGhzPowerPosition(int channel);
// The EEPROM byte address of TX path 0 or 1's power on `channel`.
std::uint16_t TxPowerAddress(int path, int channel);

}  // namespace kqa::txrx
