#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/ioctl/device_interface.h"
#include "platform/usb/usb_backend.h"

namespace kqa::driver {

class HostCore;

struct DriverHostOptions {
  // The largest non-paged allocation granted, in bytes (0: no limit). Below
  // the capture ring's 5,120,000 bytes the driver runs without its ring, as
  // on a machine short of non-paged memory.
  std::size_t largestPoolAllocation = 0;
};

// kestrelqa-usb hosted in this process: the host plays the I/O manager and
// the Plug and Play manager for the driver and serves its device interface.
//
// - It follows the back end's hot-plug: a device arriving is added and
//   started; one leaving is surprise-removed at once (requests in progress
//   finish, new ones fail with STATUS_DEVICE_NOT_CONNECTED, error 1167) and
//   removed once its handle is closed.
// - An interface instance of class kQaInterfaceClass exists while its device
//   is started; instance 0 is the first present one.
// - open() is IRP_MJ_CREATE. The driver serves one handle per device at a
//   time: a second open fails with error 32 (ERROR_SHARING_VIOLATION).
// - DeviceHandle::control() is IRP_MJ_DEVICE_CONTROL with one system buffer
//   of max(input, output) bytes (METHOD_BUFFERED); the status maps to the
//   error with Win32ErrorFromNtStatus; a failed call returns 0 bytes. Calls
//   from several threads are served one at a time.
// - Destroying a handle is IRP_MJ_CLOSE; destroy it only when no call on it
//   is in progress. Handles may outlive the host: their device then answers
//   1167 and the driver unloads with the last of them.
//
// Construction reports the devices already present (they are started when
// the constructor returns). The back end and the clock must outlive the
// host and every handle it gave out.
class DriverHost final : public ioctl::DeviceInterfaceProvider {
 public:
  DriverHost(usb::UsbBackend& backend, Clock& clock, DriverHostOptions options = {});
  ~DriverHost() override;
  DriverHost(const DriverHost&) = delete;
  DriverHost& operator=(const DriverHost&) = delete;

  OpenResult open(std::string_view interfaceClass, std::uint32_t instance) override;

  // The symbolic links of the interface instances present now, instance 0 first.
  std::vector<std::string> interfaces() const;

 private:
  usb::UsbBackend& backend_;
  std::shared_ptr<HostCore> core_;
};

}  // namespace kqa::driver
