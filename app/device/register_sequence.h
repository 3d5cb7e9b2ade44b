#pragma once

#include <memory>
#include <mutex>

#include "app/device/device_context.h"

namespace kqa::device {

// Keeps a multi-step register sequence whole: the eFuse controller's
// address, start, busy polls and data words, the BBP and RF command
// registers. While one lives, other threads of this program wait at the
// same lock, and other clients of a shared device (kestrelqa-usbd) wait at
// the daemon's sequence gate. Sequences nest; only the outermost brackets
// the device.
//
// The device bracket is taken on the first ensureHeld() (the connection may
// open only then). A sequence that could not be secured must not be run:
// ensureHeld() is false and the caller fails the operation with ERROR_BUSY.
class RegisterSequence {
 public:
  explicit RegisterSequence(DeviceContext& device) : device_(device), lock_(device.indirectRegisterLock) {}
  ~RegisterSequence();
  RegisterSequence(const RegisterSequence&) = delete;
  RegisterSequence& operator=(const RegisterSequence&) = delete;

  bool ensureHeld();

 private:
  DeviceContext& device_;
  std::lock_guard<std::recursive_mutex> lock_;
  bool counted_ = false;  // this one is in device_.sequenceDepth
};

}  // namespace kqa::device
