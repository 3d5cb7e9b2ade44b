#pragma once

#include <memory>
#include <vector>

#include "platform/usb/usb_device.h"

namespace kqa::usb {

// Told when devices come and go. Calls arrive one at a time, in order, on the
// back end's hot-plug thread, never inside a callback of the USB library, so
// the listener may open the device and make synchronous requests on it.
class HotplugListener {
 public:
  virtual ~HotplugListener() = default;
  virtual void deviceArrived(const std::shared_ptr<UsbDevice>& device) = 0;
  // The device is already gone: its requests fail with NoDevice and its
  // transfers in flight complete with NoDevice.
  virtual void deviceLeft(const std::shared_ptr<UsbDevice>& device) = 0;
};

// A USB stack with its devices: the libusb back end (real hardware) or the
// emulated one (the emulated chip).
class UsbBackend {
 public:
  virtual ~UsbBackend() = default;

  // Starts telling `listener` of arrivals and departures; devices already
  // present arrive first. nullptr stops it, and returns only once no call to
  // the previous listener is running. Must not be called from a listener.
  virtual void setHotplugListener(HotplugListener* listener) = 0;

  // Returns once every arrival and departure noticed before the call has been
  // delivered and handled. Must not be called from a listener.
  virtual void waitHotplugIdle() = 0;

  // The devices present now (arrived and not left).
  virtual std::vector<std::shared_ptr<UsbDevice>> devices() = 0;
};

}  // namespace kqa::usb
