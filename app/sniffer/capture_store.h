#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "app/sniffer/capture_record.h"

namespace kqa::sniffer {

// The capture store: whole capture records in storage that its owner keeps
// (the program's capture buffer, 20,000 records), record i at i x 4096, and
// the number held. The store index is the list's row index. Its memory is
// fixed: Wrap Around starts again at index 0 instead of growing.
class CaptureStore {
 public:
  CaptureStore() = default;
  // Capacity: as many whole records as `storage` holds.
  explicit CaptureStore(std::span<std::uint8_t> storage)
      : storage_(storage.first(storage.size() / kCaptureRecordSize * kCaptureRecordSize)) {}

  std::size_t capacity() const { return storage_.size() / kCaptureRecordSize; }
  std::size_t count() const { return count_; }
  bool full() const { return count_ == capacity(); }

  std::span<const std::uint8_t> record(std::size_t index) const {
    return storage_.subspan(index * kCaptureRecordSize, kCaptureRecordSize);
  }
  std::span<std::uint8_t> record(std::size_t index) {
    return storage_.subspan(index * kCaptureRecordSize, kCaptureRecordSize);
  }
  // The held records, back to back (count() x 4096 bytes).
  std::span<const std::uint8_t> heldBytes() const {
    return storage_.first(count_ * kCaptureRecordSize);
  }

  // Copies `record` (its first 4096 bytes; a shorter one is zero-filled) to
  // index count() and counts it. The caller checks full() first.
  void append(std::span<const std::uint8_t> record);
  // The slot at index count(), to be filled in place and then counted with
  // commitSlot() (loading a file reads straight into it).
  std::span<std::uint8_t> nextSlot() { return record(count_); }
  void commitSlot() { ++count_; }

  // Holds nothing; the next record goes to index 0.
  void clear() { count_ = 0; }

 private:
  std::span<std::uint8_t> storage_;
  std::size_t count_ = 0;
};

}  // namespace kqa::sniffer
