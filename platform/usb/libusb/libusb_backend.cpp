#include "platform/usb/libusb/libusb_backend.h"

#include <libusb.h>

#include <algorithm>

namespace kqa::usb {

// What libusb's hot-plug callback reaches: the back end while it exists.
struct LibusbHotplugGate {
  std::mutex mutex;
  LibusbBackend* backend = nullptr;

  // Runs inside libusb's event handling: nothing synchronous here, only a
  // reference taken and the event queued for the hot-plug thread.
  void post(libusb_device* device, bool arrival) {
    std::lock_guard lock(mutex);
    if (!backend) return;
    libusb_ref_device(device);
    LibusbBackend* target = backend;
    target->hotplug_.queue([target, device, arrival] {
      if (arrival) {
        target->arrived(device);
      } else {
        target->left(device);
      }
      libusb_unref_device(device);
    });
  }
};

namespace {

int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                          void* gate) {
  static_cast<LibusbHotplugGate*>(gate)->post(device, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
  return 0;  // stay registered
}

}  // namespace

LibusbBackend::LibusbBackend(LibusbOptions options, Clock& clock)
    : options_(options),
      clock_(clock),
      context_(std::make_shared<LibusbContext>()),
      gate_(std::make_shared<LibusbHotplugGate>()) {
  gate_->backend = this;
  if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
    // ENUMERATE reports the devices already present, from inside this call.
    const int rc = libusb_hotplug_register_callback(
        context_->get(),
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_ENUMERATE, options_.vendorId, options_.productId, LIBUSB_HOTPLUG_MATCH_ANY,
        &OnHotplug, gate_.get(), &callbackHandle_);
    hotplugRegistered_ = rc == LIBUSB_SUCCESS;
  }
  if (!hotplugRegistered_) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_->get(), &list);
    for (ssize_t i = 0; i < count; ++i) gate_->post(list[i], true);
    if (count >= 0) libusb_free_device_list(list, 1);
  }
  hotplug_.flush();
}

LibusbBackend::~LibusbBackend() {
  {
    std::lock_guard lock(gate_->mutex);
    gate_->backend = nullptr;
  }
  if (hotplugRegistered_) libusb_hotplug_deregister_callback(context_->get(), callbackHandle_);
  hotplug_.flush();
  std::lock_guard lock(mutex_);
  for (const auto& device : devices_) device->markGone();
  devices_.clear();
}

void LibusbBackend::arrived(libusb_device* device) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != 0 ||
      descriptor.idVendor != options_.vendorId || descriptor.idProduct != options_.productId)
    return;
  libusb_device_handle* handle = nullptr;
  const int rc = libusb_open(device, &handle);
  if (rc != 0) {
    std::lock_guard lock(mutex_);
    lastOpenError_ = libusb_error_name(rc);
    return;
  }
  auto opened = std::make_shared<LibusbDevice>(context_, device, handle, clock_);
  {
    std::lock_guard lock(mutex_);
    devices_.push_back(opened);
  }
  if (listener_) listener_->deviceArrived(opened);
}

void LibusbBackend::left(libusb_device* device) {
  std::shared_ptr<LibusbDevice> gone;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [device](const auto& d) { return d->device() == device; });
    if (it == devices_.end()) return;
    gone = *it;
    devices_.erase(it);
  }
  gone->markGone();
  if (listener_) listener_->deviceLeft(gone);
}

void LibusbBackend::setHotplugListener(HotplugListener* listener) {
  hotplug_.queue([this, listener] {
    listener_ = listener;
    if (!listener_) return;
    for (const auto& device : devices()) listener_->deviceArrived(device);
  });
  hotplug_.flush();
}

void LibusbBackend::waitHotplugIdle() { hotplug_.flush(); }

std::vector<std::shared_ptr<UsbDevice>> LibusbBackend::devices() {
  std::lock_guard lock(mutex_);
  return {devices_.begin(), devices_.end()};
}

std::string LibusbBackend::lastOpenError() const {
  std::lock_guard lock(mutex_);
  return lastOpenError_;
}

}  // namespace kqa::usb
