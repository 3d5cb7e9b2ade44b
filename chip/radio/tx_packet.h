#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "chip/radio/phy_rate.h"

namespace kqa::chip {

// What arrives on a bulk OUT endpoint: one or more packets, each a 32-bit
// information word and the number of bytes its bits 0-15 give, the next
// packet starting on the following 4-byte boundary; a zero word (the four
// closing zero bytes) or the end of the transfer ends it.
//
// Information word: bits 0-15 length, bit 19 set on frames, bit 20 TSO,
// bit 21 CSO, bit 24 WIV, bits 25-26 QSEL, bits 27-29 PORT. Bits 31-30 = 01
// mark a QA command packet for the MCU (its header word); PORT 2 otherwise
// marks a firmware download chunk. Anything else is a frame to transmit: a
// 20-byte TX descriptor, then the 802.11 frame.
struct OutPacket {
  enum class Kind { Frame, FirmwareChunk, McuCommand };
  Kind kind = Kind::Frame;
  std::uint32_t info = 0;
  std::span<const std::uint8_t> body;  // the bytes after the information word
};

struct OutTransfer {
  std::vector<OutPacket> packets;
  bool malformed = false;  // a packet ran past the end of the transfer
};

OutTransfer ParseOutTransfer(std::span<const std::uint8_t> transfer);

// The 20-byte TX descriptor (five u32):
//   word 0  bit 4 A-MPDU, bits 5-7 MPDU density, bits 16-22 MCS, bit 23 BW,
//           bit 24 short GI, bits 25-26 STBC, bits 30-31 PHY mode
//   word 1  bit 0 wait for ACK, bit 1 sequence number by hardware, bits 2-7
//           BA window, bits 8-15 WCID, bits 16-27 MPDU byte count
//   words 2, 3 IV and extended IV; word 4 zero
struct TxDescriptor {
  static constexpr std::size_t kSize = 20;
  PhyRate rate;
  bool ampdu = false;
  bool ack = false;
  bool hardwareSequence = false;
  std::uint8_t wcid = 0;
  std::size_t mpduBytes = 0;
};

// The descriptor and frame of a frame packet; nothing when the body is too
// short for the descriptor or for the byte count it gives.
struct TxFrame {
  TxDescriptor descriptor;
  std::span<const std::uint8_t> mpdu;
};
std::optional<TxFrame> DecodeTxFrame(std::span<const std::uint8_t> body);

}  // namespace kqa::chip
