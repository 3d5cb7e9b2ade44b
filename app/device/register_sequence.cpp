#include "app/device/register_sequence.h"

#include "app/device/connection.h"

namespace kqa::device {

bool RegisterSequence::ensureHeld() {
  if (counted_) return true;
  if (device_.sequenceDepth == 0) {
    if (!EnsureDeviceOpen(device_)) return false;
    std::shared_ptr<ioctl::DeviceHandle> handle = device_.hDevice.get();
    if (!handle || !handle->beginSequence()) return false;
    device_.sequenceHandle = std::move(handle);
  }
  ++device_.sequenceDepth;
  counted_ = true;
  return true;
}

RegisterSequence::~RegisterSequence() {
  if (!counted_ || --device_.sequenceDepth > 0) return;
  // The handle the sequence began on, even when the connection was re-opened
  // since: a new connection holds nothing.
  if (device_.sequenceHandle) device_.sequenceHandle->endSequence();
  device_.sequenceHandle.reset();
}

}  // namespace kqa::device
