#pragma once

#include <array>
#include <cstdint>

namespace kqa::device {

// Values of the TX/RX test bench that several pages show or read: the TX/RX
// page writes them (its mode and rate lists, its power, frequency-offset and
// RSSI "Offset" fields), the USB Config page the product id; the RF page
// shows the powers and the offset, the noise scan reads the RSSI offsets.
// A page that changes one tells the others with RadioSettingsChanged.
struct TestBenchSettings {
  int phyMode = 1;    // index in the Mode list: 0 CCK, 1 OFDM, 2 HT mixed, 3 HT greenfield
  int rateIndex = 7;  // index in the rate list of phyMode
  std::uint8_t tx0Power = 0;         // 6-bit power codes ("TX Power0 (Hex)", "TX Power1 (Hex)")
  std::uint8_t tx1Power = 0;
  std::uint8_t frequencyOffset = 0;  // RF bank 0 R12
  std::array<std::int8_t, 3> rssiOffsets{};  // per receive path, in dB
  bool firmwareReady = false;        // the MCU runs its firmware
  std::uint16_t productId = 0;       // idProduct of the device descriptor; 0 until read
};

}  // namespace kqa::device
