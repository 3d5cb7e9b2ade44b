#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kqa::sniffer {

// One captured frame as the page keeps it: 4096 bytes, little-endian.
//
//   0   4 bytes  start of the descriptor area (not interpreted)
//   4   u32      receive status word; bit 8 = CRC error
//   8   u32      descriptor word 0; bits 16-27 = frame size (the u16 at 10, low 12 bits)
//   12  u32      descriptor word 1; bits 16-22 = rate index, bits 30-31 = PHY mode
//   16  ...      the rest of the descriptor, up to D
//   D   size     the 802.11 frame (without FCS); the rest of the record unused
//
// D, the header size, is 8 plus the chip's receive descriptor: 32 on a
// Kestrel. It is not stored with the records; ".pac" files hold a u32 count
// and then these records back to back.
inline constexpr std::size_t kCaptureRecordSize = 4096;
inline constexpr std::size_t kKestrelHeaderSize = 32;
inline constexpr std::size_t kStoreRecords = 20000;

// The driver's capture read answers whole ring records of 5120 bytes, laid
// out as above for their first 4096 bytes (the ring keeps the chip's receive
// record: length word, receive information, descriptor, frame). The page
// steps through the answer in ring records and keeps the first 4096 bytes of
// each; a frame that reaches past those is kept as it is and shown as
// malformed. One read takes up to the ring's 1000 records.
inline constexpr std::size_t kRingRecordSize = 5120;
inline constexpr std::size_t kTransferRecords = 1000;
inline constexpr std::size_t kTransferBufferSize = kTransferRecords * kRingRecordSize;

inline constexpr std::uint32_t kCrcErrorBit = 1u << 8;

enum class PhyMode : std::uint8_t { Cck = 0, Ofdm = 1, HtMixed = 2, HtGreenfield = 3 };

// What a record says about its frame. Every field is read only where it lies
// inside the record; `frame` is empty when the record is malformed.
struct CaptureRecord {
  bool crcError = false;
  std::uint16_t frameSize = 0;  // as the descriptor states it
  std::uint8_t rateIndex = 0;   // 0-127
  PhyMode phyMode = PhyMode::Cck;
  bool wide = false;     // descriptor word 1 bit 23: 40 MHz
  bool shortGi = false;  // bit 24
  // The frame's size runs past the record (or the record cannot even hold
  // its descriptor): nothing of the frame is read.
  bool malformed = false;
  std::span<const std::uint8_t> descriptor;  // the first D bytes, cut to the record
  std::span<const std::uint8_t> frame;       // frameSize bytes from D
};

CaptureRecord ParseCaptureRecord(std::span<const std::uint8_t> record, std::size_t headerSize);

// The capture records in the first `bytes` bytes of a capture read: only
// whole ring records count, each one's first kCaptureRecordSize bytes.
std::size_t RingRecordCount(std::size_t bytes);
std::span<const std::uint8_t> RingRecordAt(std::span<const std::uint8_t> transfer,
                                           std::size_t index);

}  // namespace kqa::sniffer
