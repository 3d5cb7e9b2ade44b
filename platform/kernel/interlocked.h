#pragma once

#include <atomic>
#include <cstdint>

namespace kqa::kernel {

// Interlocked operations on 32-bit counters; each returns what the kernel's
// function of the same name returns.
inline std::int32_t InterlockedIncrement(std::atomic<std::int32_t>& value) { return ++value; }
inline std::int32_t InterlockedDecrement(std::atomic<std::int32_t>& value) { return --value; }

// Stores `exchange` if the value equals `comparand`; returns the value found.
inline std::int32_t InterlockedCompareExchange(std::atomic<std::int32_t>& value,
                                               std::int32_t exchange, std::int32_t comparand) {
  value.compare_exchange_strong(comparand, exchange);
  return comparand;
}

}  // namespace kqa::kernel
