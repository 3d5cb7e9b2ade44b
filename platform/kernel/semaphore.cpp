#include "platform/kernel/semaphore.h"

#include "platform/kernel/irql.h"

namespace kqa::kernel {

void Semaphore::wait() {
  RequirePassiveLevel("KeWaitForSingleObject");
  std::unique_lock lock(mutex_);
  available_.wait(lock, [this] { return count_ > 0; });
  --count_;
}

void Semaphore::release() {
  std::lock_guard lock(mutex_);
  if (count_ >= limit_) BugCheck("STATUS_SEMAPHORE_LIMIT_EXCEEDED");
  ++count_;
  available_.notify_one();
}

}  // namespace kqa::kernel
