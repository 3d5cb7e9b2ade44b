#include "app/sniffer/sniffer_buffer.h"

#include <new>

#include "app/sniffer/capture_record.h"

namespace kqa::sniffer {

static_assert(kSnifferBufferSize == 20'000 * kCaptureRecordSize);

bool SnifferBuffer::allocate() {
  if (allocated()) return true;
  try {
    bytes_.assign(kSnifferBufferSize, 0);
  } catch (const std::bad_alloc&) {
    bytes_.clear();
    return false;
  }
  return true;
}

}  // namespace kqa::sniffer
