#include "driver/capture_ring.h"

#include <algorithm>
#include <cstring>

namespace kqa::driver {

void WriteRingRecord(DeviceState& dx, std::span<const std::uint8_t> transfer, std::size_t walkStop) {
  if (!dx.RingPresent || transfer.empty()) return;
  std::uint8_t header[8] = {};
  if (walkStop < transfer.size()) {
    const std::size_t n = std::min<std::size_t>(8, transfer.size() - walkStop);
    std::memcpy(header, transfer.data() + walkStop, n);
  }
  const std::size_t body = transfer.size() > 8 ? std::min(transfer.size(), kRingRecordSize) - 8 : 0;

  kernel::SpinLockGuard guard(dx.RingLock);
  std::uint8_t* record = dx.CaptureRing.get() + std::size_t{dx.RingWrite} * kRingRecordSize;
  std::memcpy(record, header, sizeof header);
  std::memcpy(record + 8, transfer.data() + 8, body);
  std::memset(record + 8 + body, 0, kRingRecordSize - 8 - body);
  dx.RingWrite = (dx.RingWrite + 1) % kRingRecords;
  if (dx.RingWrite == dx.RingRead) dx.RingRead = (dx.RingRead + 1) % kRingRecords;
}

std::size_t ReadRingRecords(DeviceState& dx, std::span<std::uint8_t> output) {
  if (!dx.RingPresent) return 0;
  const std::size_t room = output.size() / kRingRecordSize;
  kernel::SpinLockGuard guard(dx.RingLock);
  const std::uint32_t r = dx.RingRead;
  const std::uint32_t w = dx.RingWrite;
  const std::size_t unread = (w + kRingRecords - r) % kRingRecords;
  const std::size_t count = std::min(unread, room);
  if (count == 0) return 0;
  // Records r .. 999, then 0 .. as the count allows: two runs at most.
  const std::size_t firstRun = std::min(count, kRingRecords - r);
  const std::uint8_t* ring = dx.CaptureRing.get();
  std::memcpy(output.data(), ring + std::size_t{r} * kRingRecordSize, firstRun * kRingRecordSize);
  std::memcpy(output.data() + firstRun * kRingRecordSize, ring, (count - firstRun) * kRingRecordSize);
  dx.RingRead = static_cast<std::uint32_t>((r + count) % kRingRecords);
  return count * kRingRecordSize;
}

void ResetRing(DeviceState& dx) {
  kernel::SpinLockGuard guard(dx.RingLock);
  dx.RingWrite = 0;
  dx.RingRead = 0;
}

}  // namespace kqa::driver
