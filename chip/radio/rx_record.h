#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "chip/radio/phy_rate.h"

namespace kqa::chip {

// One received frame as the chip hands it to the host over bulk IN:
//
//   0   u32  length word: bits 0-13 = L, the descriptor and the frame padded
//            to 4 bytes (the next record starts L + 8 bytes further on);
//            bits 30-31 are 00 (01 marks a firmware response instead)
//   4   u32  receive information: bit 2 broadcast, bit 3 multicast,
//            bit 4 unicast to the chip's station address, bit 8 CRC error
//   8   24   receive descriptor, six u32:
//            word 0  bits 0-7 WCID (0xFF: no match), bits 16-27 frame size
//            word 1  bits 16-22 rate (MCS), bit 23 40 MHz, bit 24 short GI,
//                    bits 30-31 PHY mode
//            word 2  bytes RSSI path 0, path 1, path 2, 0
//            word 3  bytes SNR path 0, SNR path 1, RSSI path 0 again, frequency
//                    deviation (signed, 0.4 kHz)
//            word 4  the chip's timer at the frame's end, in microseconds
//            word 5  byte 0 the channel's noise in R50 terms, others 0
//   32       the 802.11 frame (frame size bytes, without FCS), zero padding
struct RxRecordFields {
  std::vector<std::uint8_t> frame;
  PhyRate rate;
  bool crcError = false;
  bool toMe = false;
  std::uint8_t wcid = 0xFF;
  std::array<std::uint8_t, 3> rssi{};  // descriptor encoding, 0 for missing paths
  std::array<std::uint8_t, 2> snr{};
  std::int8_t deviation = 0;
  std::uint32_t timerUs = 0;
  std::uint8_t noise = 0;
};

constexpr std::size_t kRxDescriptorSize = 24;
constexpr std::uint32_t kRxBroadcast = 1u << 2;
constexpr std::uint32_t kRxMulticast = 1u << 3;
constexpr std::uint32_t kRxToMe = 1u << 4;
constexpr std::uint32_t kRxCrcError = 1u << 8;

std::vector<std::uint8_t> EncodeRxRecord(const RxRecordFields& fields);

}  // namespace kqa::chip
