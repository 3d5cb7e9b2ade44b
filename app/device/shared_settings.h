#pragma once

#include <array>
#include <cstdint>

namespace kqa::device {

// Values that several pages show and set, besides the channel index. The
// program keeps them (the chip's configuration memory does not); a page reads
// them when it is shown and tells the others when it changed them
// (page::RadioSettingsChanged).
struct SharedSettings {
  // The RF bank both RF pages show, 0-15 (the TX/RX page's register box
  // reaches RF registers in it too).
  int rfBank = 0;

  // TX power codes of the two transmit paths, 0-63 in 0.5 dB steps, for the
  // channel index txPowerChannel. TX power 0 is MAC 0x13B0 bits 0-5; TX
  // power 1 lives only here.
  std::uint8_t txPower0 = 0;
  std::uint8_t txPower1 = 0;
  int txPowerChannel = 0;
  // The frequency offset, RF bank 0 R12.
  std::uint16_t frequencyOffset = 0;
  // False until a page has set TX power 0 and the frequency offset or read
  // them from the chip: until then the chip's registers are what counts.
  bool radioKnown = false;

  // idProduct of the USB device descriptor; 0 until a page has read it.
  std::uint16_t productId = 0;

  // The TX/RX page's mode and rate lists: phyMode is the index in the Mode
  // list (0 CCK, 1 OFDM, 2 HT mixed, 3 HT greenfield), rateIndex the index
  // in that mode's rate list.
  int phyMode = 1;
  int rateIndex = 7;
  // The TX/RX page's RSSI "Offset" fields, per receive path, in dB.
  std::array<std::int8_t, 3> rssiOffsets{};
  // The MCU runs its firmware.
  bool firmwareReady = false;
};

}  // namespace kqa::device
