#include "platform/kernel/pool.h"

#include <new>

namespace kqa::kernel {

std::unique_ptr<std::uint8_t[]> NonPagedPool::allocate(std::size_t bytes) {
  const std::size_t limit = largestAllocation_.load();
  if (limit != kUnlimited && bytes > limit) return nullptr;
  return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]());
}

}  // namespace kqa::kernel
