#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "app/device/device_context.h"

namespace kqa::measure {

// The capture memory: a ring of 16 KB in each of two packet-buffer banks,
// read through the MAC window 0x8000-0xBFFF with MAC 0x0400 = 0x0C00 (bank
// A) or 0x20C00 (bank B).
inline constexpr std::uint32_t kCaptureWindow = 0x8000;
inline constexpr std::size_t kRingBytes = 16384;
inline constexpr std::uint32_t kBankASelect = 0x00000C00;
inline constexpr std::uint32_t kBankBSelect = 0x00020C00;

// The page's fetch block size by the letter, and the one the fetch uses by
// default: one read up to the ring's end and one from its start (the same
// bytes, in a few control transfers instead of hundreds).
inline constexpr std::size_t kSmallFetchBlock = 64;
inline constexpr std::size_t kLargeFetchBlock = kRingBytes;

// Both banks' rings in time order: byte 0 is the ring's byte at the end
// pointer (the oldest sample), byte 16383 the one before it.
struct CaptureBanks {
  std::array<std::uint8_t, kRingBytes> a{};
  std::array<std::uint8_t, kRingBytes> b{};
};

// Reads both rings starting at `endPointer` (taken modulo 16 KB) in reads of
// at most `blockBytes` (at least 4), each ending at the ring's end or
// earlier: a read that would cross 0xC000 stops there and the next one
// starts at 0x8000, so the bytes land in time order whatever the block size.
// Clears MAC 0x0400 bit 19 first. False when a read failed (the banks are
// then cleared; the failure has been shown).
bool FetchCaptureBanks(device::DeviceContext& device, std::uint32_t endPointer,
                       std::size_t blockBytes, CaptureBanks& banks);

}  // namespace kqa::measure
