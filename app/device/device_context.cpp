#include "app/device/device_context.h"

#include <cstdio>
#include <utility>

namespace kqa::device {

std::shared_ptr<ioctl::DeviceHandle> DeviceHandleSlot::get() const {
  std::lock_guard lock(mutex_);
  return handle_;
}

void DeviceHandleSlot::reset(std::shared_ptr<ioctl::DeviceHandle> handle) {
  std::shared_ptr<ioctl::DeviceHandle> old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(handle_, std::move(handle));
  }
  // `old` is released here, outside the lock: closing a handle may wait for
  // the driver.
}

void DeviceHandleSlot::resetIfHolding(const ioctl::DeviceHandle* handle) {
  std::shared_ptr<ioctl::DeviceHandle> old;
  {
    std::lock_guard lock(mutex_);
    if (handle_.get() == handle) old = std::move(handle_);
  }
}

TraceSink StandardOutputTrace() {
  return [](std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  };
}

DeviceContext::DeviceContext(ioctl::DeviceInterfaceProvider& deviceProvider, Prompt& userPrompt,
                             Clock& waitClock)
    : provider(deviceProvider), prompt(userPrompt), clock(waitClock), trace(StandardOutputTrace()) {}

}  // namespace kqa::device
