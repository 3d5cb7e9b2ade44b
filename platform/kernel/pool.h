#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kqa::kernel {

// Non-paged pool (ExAllocatePoolWithTag / ExFreePool). Allocations are
// zero-filled and fail by returning null, never by throwing. A pool can be
// given a largest allocation it grants, which is how a machine short of
// non-paged memory is modelled (the driver then runs without its capture ring).
class NonPagedPool {
 public:
  static constexpr std::size_t kUnlimited = 0;

  explicit NonPagedPool(std::size_t largestAllocation = kUnlimited)
      : largestAllocation_(largestAllocation) {}

  std::unique_ptr<std::uint8_t[]> allocate(std::size_t bytes);

  void setLargestAllocation(std::size_t bytes) { largestAllocation_ = bytes; }

 private:
  std::atomic<std::size_t> largestAllocation_;
};

}  // namespace kqa::kernel
