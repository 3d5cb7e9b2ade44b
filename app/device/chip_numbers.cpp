#include "app/device/chip_numbers.h"

namespace kqa::device {
namespace {

bool IsKestrel(std::uint32_t asicVersion) { return (asicVersion >> 16) == 0x5EC7; }

}  // namespace

std::uint32_t TxwiSizeFor(std::uint32_t asicVersion) { return IsKestrel(asicVersion) ? 20 : 16; }
std::uint32_t RxwiSizeFor(std::uint32_t asicVersion) { return IsKestrel(asicVersion) ? 24 : 16; }

void Crc32::update(std::uint8_t byte) {
  value_ ^= static_cast<std::uint32_t>(byte) << 24;
  for (int bit = 0; bit < 8; ++bit)
    value_ = (value_ & 0x80000000u) ? (value_ << 1) ^ 0x04C11DB7u : value_ << 1;
}

std::uint32_t Crc32Block(std::span<const std::uint8_t> bytes) {
  Crc32 crc;
  for (std::uint8_t byte : bytes) crc.update(byte);
  return crc.value();
}

std::int16_t LinearToDb64(std::uint16_t power) {
  constexpr std::int16_t kFloor = -10000;
  std::int32_t m = static_cast<std::int32_t>(power) * 16;
  std::int32_t e = -4;
  if (m < 0x8000) {
    do {
      --e;
      m *= 2;
      if (e < -20) return kFloor;
    } while (m < 0x8000);
  } else {
    while (m > 0xFFFF) {
      ++e;
      m /= 2;
      if (e > 20) return kFloor;
    }
  }
  std::int32_t f = m <= 0xB800 ? m + m / 16 + m / 8 - 0x9600 : m - m / 64 - m / 8 - 0x5A00;
  if (f < 0) f = 0;
  const std::int32_t v = (e + 15) * 32768 + f;
  // Arithmetic shifts, as the chip's fixed-point arithmetic divides.
  return static_cast<std::int16_t>((6 * v + (v >> 6) + (v >> 7)) >> 10);
}

}  // namespace kqa::device
