#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "driver/device_state.h"

namespace kqa::driver {

// The capture ring: 1000 records of 5120 bytes, written by the IN pipes'
// completion routines and read by the capture read code, under RingLock.

// Writes one record at RingWrite and advances it, wrapping from 999 to 0.
// Record layout: bytes 0-7 = the first 8 bytes of the record at `walkStop`
// (the receive record where the walk stopped), then transfer bytes 8 to L - 1
// cut to the record, the rest zero. When the writer catches up with the
// reader, the oldest unread record is dropped, so a reader always gets the
// newest records in order. No ring, no record.
void WriteRingRecord(DeviceState& dx, std::span<const std::uint8_t> transfer, std::size_t walkStop);

// Copies the unread records, oldest first and only whole ones, into `output`
// as far as it holds them; returns how many bytes it copied. Records that do
// not fit stay for the next read.
std::size_t ReadRingRecords(DeviceState& dx, std::span<std::uint8_t> output);

void ResetRing(DeviceState& dx);

}  // namespace kqa::driver
