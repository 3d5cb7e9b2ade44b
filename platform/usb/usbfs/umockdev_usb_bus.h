#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/work_queue.h"
#include "platform/usb/device_model/usb_device_model.h"

struct _GSource;  // GLib's GSource

namespace kqa::usb::usbfs {

// A USB bus in a umockdev test bed: a UsbDeviceModel served through emulated
// sysfs and usbdevfs to every process that runs with umockdev's preload
// library (see preload_environment.h), so that libusb, unmodified, finds,
// opens and drives it.
//
// The device sits at port 1 of bus 1: /sys/bus/usb/devices/1-1 with the
// attributes libusb and udev read (busnum, devnum, idVendor, idProduct,
// bcdDevice, speed 480, bConfigurationValue, the "descriptors" the model
// gives when asked with GET_DESCRIPTOR), and its node /dev/bus/usb/001/NNN,
// whose ioctls a UsbfsDevice answers (usbfs_device.h). It follows the
// model's attach and detach: an attach adds the device under the next
// device number (2, 3, ... as the kernel numbers re-enumerations) and sends
// the "add" uevent; a detach ends its URBs, sends "remove" and takes it away.
//
//   UmockdevUsbBus bus;          // first: sets UMOCKDEV_DIR for this process and its children
//   chip::Kestrel chip(clock);
//   bus.serve(chip);             // the device appears
//   ... run libusb under the preload library ...
//
// The test bed is this process's one ($UMOCKDEV_DIR): one bus per process
// at a time. Destroy it only after every process has closed the device
// (umockdev's preload library ends a process whose node loses its bridge).
class UmockdevUsbBus {
 public:
  UmockdevUsbBus();
  ~UmockdevUsbBus();
  UmockdevUsbBus(const UmockdevUsbBus&) = delete;
  UmockdevUsbBus& operator=(const UmockdevUsbBus&) = delete;

  // Serves `model` (once), from now until the bus is destroyed; returns
  // when the device is on the bus if the model is attached. The model must
  // outlive the bus; the bus takes its attach listener.
  void serve(UsbDeviceModel& model);

  // Returns once every attach and detach the model reported before the call
  // is on the bus (sysfs, node, uevent).
  void waitIdle();

  std::string rootDir() const;  // the test bed's folder ($UMOCKDEV_DIR)
  // The device node ("/dev/bus/usb/001/002") and sysfs folder
  // ("/sys/devices/1-1") as the preloaded processes see them; "" while the
  // device is away.
  std::string deviceNode() const;
  std::string sysfsPath() const;
  // Why the last attach did not put the device on the bus, or "".
  std::string lastError() const;

 private:
  struct Testbed;
  struct Attachment;
  struct AttachGate;

  void attachChanged(bool attached);  // hot-plug thread
  void attach();
  void detach();
  // On umockdev's ioctl thread: from the first open on, every few
  // milliseconds, the files of clients that closed the node are closed.
  void startSweeping();
  void sweep();

  std::unique_ptr<Testbed> testbed_;
  UsbDeviceModel* model_ = nullptr;
  std::shared_ptr<AttachGate> gate_;
  std::uint8_t nextDeviceNumber_ = 2;

  mutable std::mutex mutex_;  // guards the three below and sweeper_
  std::unique_ptr<Attachment> current_;
  std::vector<std::unique_ptr<Attachment>> retired_;  // nodes still open after their device left
  std::string lastError_;
  ::_GSource* sweeper_ = nullptr;

  kernel::WorkQueue hotplug_;  // last: stopped first
};

}  // namespace kqa::usb::usbfs
