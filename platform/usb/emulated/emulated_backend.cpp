#include "platform/usb/emulated/emulated_backend.h"

namespace kqa::usb {

EmulatedUsbBackend::EmulatedUsbBackend(usb::UsbDeviceModel& model, Clock& clock)
    : model_(model), clock_(clock) {
  gate_->backend = this;
  // The model may call its listener from any thread, even with its own locks
  // held: only queue the change here, and act on it on the hot-plug thread.
  model_.setAttachListener([gate = gate_](bool attached) {
    std::lock_guard lock(gate->mutex);
    if (EmulatedUsbBackend* backend = gate->backend)
      backend->hotplug_.queue([backend, attached] { backend->attachChanged(attached); });
  });
  if (model_.isAttached()) hotplug_.queue([this] { attachChanged(true); });
  hotplug_.flush();
}

EmulatedUsbBackend::~EmulatedUsbBackend() {
  model_.setAttachListener({});
  {
    std::lock_guard lock(gate_->mutex);
    gate_->backend = nullptr;
  }
  hotplug_.flush();
}

void EmulatedUsbBackend::attachChanged(bool attached) {
  if (attached) {
    if (current_) return;
    auto device = std::make_shared<EmulatedUsbDevice>(model_, clock_, failures_);
    {
      std::lock_guard lock(mutex_);
      current_ = device;
    }
    if (listener_) listener_->deviceArrived(device);
  } else {
    std::shared_ptr<EmulatedUsbDevice> device;
    {
      std::lock_guard lock(mutex_);
      device = std::move(current_);
    }
    if (!device) return;
    device->markGone();
    if (listener_) listener_->deviceLeft(device);
  }
}

void EmulatedUsbBackend::setHotplugListener(HotplugListener* listener) {
  hotplug_.queue([this, listener] {
    listener_ = listener;
    std::shared_ptr<EmulatedUsbDevice> device;
    {
      std::lock_guard lock(mutex_);
      device = current_;
    }
    if (listener_ && device) listener_->deviceArrived(device);
  });
  hotplug_.flush();
}

void EmulatedUsbBackend::waitHotplugIdle() { hotplug_.flush(); }

std::vector<std::shared_ptr<UsbDevice>> EmulatedUsbBackend::devices() {
  std::lock_guard lock(mutex_);
  if (!current_) return {};
  return {current_};
}

}  // namespace kqa::usb
