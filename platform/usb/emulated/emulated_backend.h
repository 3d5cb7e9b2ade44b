#pragma once

#include <memory>
#include <mutex>

#include "platform/usb/device_model/usb_device_model.h"
#include "platform/clock/clock.h"
#include "platform/kernel/work_queue.h"
#include "platform/usb/emulated/emulated_device.h"
#include "platform/usb/usb_backend.h"

namespace kqa::usb {

// The USB stack for the emulated chip: one device, present while the model is
// attached. Frame numbers come from `clock` (one per millisecond), port status
// from the model's attach state, and a control transfer the model answers
// with Timeout costs the request's time-out on `clock`.
//
// The model and the clock must outlive the back end and every device it
// handed out.
class EmulatedUsbBackend final : public UsbBackend {
 public:
  EmulatedUsbBackend(usb::UsbDeviceModel& model, Clock& clock);
  ~EmulatedUsbBackend() override;

  void setHotplugListener(HotplugListener* listener) override;
  void waitHotplugIdle() override;
  std::vector<std::shared_ptr<UsbDevice>> devices() override;

 private:
  // Lets the model's attach listener outlive the back end harmlessly.
  struct AttachGate {
    std::mutex mutex;
    EmulatedUsbBackend* backend = nullptr;
  };

  void attachChanged(bool attached);  // on the hot-plug thread

  usb::UsbDeviceModel& model_;
  Clock& clock_;
  std::shared_ptr<kernel::WorkQueue> failures_ = std::make_shared<kernel::WorkQueue>();
  std::shared_ptr<AttachGate> gate_ = std::make_shared<AttachGate>();

  std::mutex mutex_;  // guards current_ for devices()
  std::shared_ptr<EmulatedUsbDevice> current_;
  HotplugListener* listener_ = nullptr;  // hot-plug thread only

  kernel::WorkQueue hotplug_;  // last: stopped first, while the rest still exists
};

}  // namespace kqa::usb
