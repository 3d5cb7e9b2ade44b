#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/kernel/work_queue.h"
#include "platform/usb/libusb/libusb_context.h"
#include "platform/usb/libusb/libusb_device.h"
#include "platform/usb/usb_backend.h"

struct libusb_device;

namespace kqa::usb {

struct LibusbHotplugGate;

struct LibusbOptions {
  // The Kestrel's own identifiers are not known here; by default the back end
  // looks for the emulated chip's test identifiers (pid.codes test VID/PID).
  std::uint16_t vendorId = 0x1209;
  std::uint16_t productId = 0x0001;
};

// The USB stack for real hardware. libusb's hot-plug callback only queues the
// event; arrivals are opened, and listeners told, on the back end's own
// hot-plug thread. Without hot-plug support the devices present at start are
// reported once.
class LibusbBackend final : public UsbBackend {
 public:
  // Throws std::runtime_error when libusb cannot start.
  explicit LibusbBackend(LibusbOptions options = {}, Clock& clock = SystemClock());
  ~LibusbBackend() override;

  void setHotplugListener(HotplugListener* listener) override;
  void waitHotplugIdle() override;
  std::vector<std::shared_ptr<UsbDevice>> devices() override;

  // Why the last matching device could not be opened (e.g. "LIBUSB_ERROR_ACCESS"),
  // or "" when every one could.
  std::string lastOpenError() const;

 private:
  friend struct LibusbHotplugGate;
  void arrived(libusb_device* device);  // hot-plug thread
  void left(libusb_device* device);     // hot-plug thread

  LibusbOptions options_;
  Clock& clock_;
  std::shared_ptr<LibusbContext> context_;
  std::shared_ptr<LibusbHotplugGate> gate_;
  int callbackHandle_ = 0;
  bool hotplugRegistered_ = false;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<LibusbDevice>> devices_;
  std::string lastOpenError_;
  HotplugListener* listener_ = nullptr;  // hot-plug thread only

  kernel::WorkQueue hotplug_;  // last: stopped first
};

}  // namespace kqa::usb
