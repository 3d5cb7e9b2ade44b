#include "app/sniffer/capture_store.h"

#include <algorithm>
#include <cstring>

namespace kqa::sniffer {

void CaptureStore::append(std::span<const std::uint8_t> from) {
  const std::span<std::uint8_t> slot = nextSlot();
  const std::size_t n = std::min(from.size(), slot.size());
  std::memcpy(slot.data(), from.data(), n);
  std::memset(slot.data() + n, 0, slot.size() - n);
  ++count_;
}

}  // namespace kqa::sniffer
