#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kqa {

// Little-endian fields in byte buffers: the chip's registers, descriptors,
// NVM words, the control codes' buffers and the socket frames all use them.
// `at` is the field's byte offset; the caller has checked that it fits.

inline std::uint16_t GetLe16(const std::uint8_t* bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t GetLe32(const std::uint8_t* bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

inline void PutLe16(std::uint8_t* bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(std::uint8_t* bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutLe64(std::uint8_t* bytes, std::size_t at, std::uint64_t value) {
  for (std::size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The same on spans, vectors and arrays.
inline std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return GetLe16(bytes.data(), at);
}
inline std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return GetLe32(bytes.data(), at);
}
inline void PutLe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  PutLe16(bytes.data(), at, value);
}
inline void PutLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  PutLe32(bytes.data(), at, value);
}

}  // namespace kqa
