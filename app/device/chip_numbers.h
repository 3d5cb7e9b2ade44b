#pragma once

#include <cstdint>
#include <span>

namespace kqa::device {

// Descriptor sizes by chip identity (MAC register 0x0000): 20-byte TXWI and
// 24-byte RXWI on a Kestrel (upper 16 bits 0x5EC7), 16 bytes otherwise.
std::uint32_t TxwiSizeFor(std::uint32_t asicVersion);
std::uint32_t RxwiSizeFor(std::uint32_t asicVersion);

// CRC-32/MPEG-2: polynomial 0x04C11DB7, most significant bit first, preset
// 0xFFFFFFFF, no reflection, no final inversion. The page that runs a CRC
// owns its register.
class Crc32 {
 public:
  void reset() { value_ = 0xFFFFFFFF; }
  void update(std::uint8_t byte);
  std::uint32_t value() const { return value_; }

 private:
  std::uint32_t value_ = 0xFFFFFFFF;
};

std::uint32_t Crc32Block(std::span<const std::uint8_t> bytes);

// A 16-bit linear power as a level in 1/64 dB (about 64 x 10 log10 x), the
// chip's fixed-point approximation; 0 gives -10000.
std::int16_t LinearToDb64(std::uint16_t power);

}  // namespace kqa::device
