#include "platform/usb/testing/scripted_usb_device.h"

#include <utility>

namespace kqa::usb::testing {

ScriptedUsbDevice::~ScriptedUsbDevice() {
  // Whatever is still held completes now, as a cancelled transfer would.
  std::map<TransferId, Completion> held;
  {
    std::lock_guard lock(mutex_);
    held.swap(held_);
  }
  for (auto& [id, completion] : held) completion({TransferStatus::Cancelled, 0});
}

void ScriptedUsbDevice::scriptPortStatus(std::vector<PortStatus> answers) {
  std::lock_guard lock(mutex_);
  portAnswers_ = std::move(answers);
}

int ScriptedUsbDevice::portResets() const {
  std::lock_guard lock(mutex_);
  return portResets_;
}

void ScriptedUsbDevice::neverAnswer(std::uint8_t bRequest, std::function<void()> whilePending) {
  std::lock_guard lock(mutex_);
  unanswered_[bRequest] = std::move(whilePending);
}

int ScriptedUsbDevice::cancelledControls() const {
  std::lock_guard lock(mutex_);
  return cancelledControls_;
}

UsbDevice::TransferId ScriptedUsbDevice::submitControl(const SetupPacket& setup,
                                                       std::span<std::uint8_t> data,
                                                       Clock::Duration timeout,
                                                       Completion completion) {
  std::function<void()> whilePending;
  TransferId id = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = unanswered_.find(setup.bRequest);
    if (it != unanswered_.end()) {
      whilePending = std::move(it->second);
      unanswered_.erase(it);
      id = nextHeld_++;
      held_.emplace(id, std::move(completion));
    }
  }
  if (id == 0) return inner_->submitControl(setup, data, timeout, std::move(completion));
  if (whilePending) whilePending();
  return id;
}

void ScriptedUsbDevice::cancel(TransferId id) {
  if ((id & kHeldFlag) == 0) {
    inner_->cancel(id);
    return;
  }
  Completion completion;
  {
    std::lock_guard lock(mutex_);
    auto it = held_.find(id);
    if (it == held_.end()) return;
    completion = std::move(it->second);
    held_.erase(it);
    ++cancelledControls_;
  }
  completion({TransferStatus::Cancelled, 0});
}

TransferStatus ScriptedUsbDevice::getPortStatus(PortStatus& status) {
  {
    std::lock_guard lock(mutex_);
    if (!portAnswers_.empty()) {
      status = portAnswers_.front();
      portAnswers_.erase(portAnswers_.begin());
      return TransferStatus::Completed;
    }
  }
  return inner_->getPortStatus(status);
}

TransferStatus ScriptedUsbDevice::resetPort() {
  {
    std::lock_guard lock(mutex_);
    ++portResets_;
  }
  return inner_->resetPort();
}

}  // namespace kqa::usb::testing
