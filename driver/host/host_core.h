#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "driver/driver_object.h"
#include "platform/ioctl/device_interface.h"
#include "platform/kernel/pool.h"
#include "platform/usb/usb_backend.h"

namespace kqa::driver {

// One device as the host tracks it.
struct HostedDevice {
  std::shared_ptr<DeviceObject> object;
  std::shared_ptr<usb::UsbDevice> usb;
  std::string interfaceName;
  bool interfaceEnabled = false;
  int openHandles = 0;
  bool leaving = false;        // departure (or failed start) noticed
  bool surpriseDone = false;   // IRP_MN_SURPRISE_REMOVAL has returned
  bool removeSent = false;     // IRP_MN_REMOVE_DEVICE sent or about to be
};

// The host's shared part: the loaded driver, its devices and their interface
// instances. Handles keep it alive after the DriverHost is gone.
class HostCore final : public usb::HotplugListener,
                       public IoManager,
                       public std::enable_shared_from_this<HostCore> {
 public:
  HostCore(Clock& clock, std::size_t largestPoolAllocation);
  ~HostCore() override;

  // usb::HotplugListener (the back end's hot-plug thread)
  void deviceArrived(const std::shared_ptr<usb::UsbDevice>& usb) override;
  void deviceLeft(const std::shared_ptr<usb::UsbDevice>& usb) override;

  // IoManager (called by the driver)
  NtStatus RegisterDeviceInterface(DeviceObject& device, std::string_view interfaceClass,
                                   std::string& symbolicLinkName) override;
  NtStatus SetDeviceInterfaceState(const std::string& symbolicLinkName, bool enable) override;
  void DeleteDevice(DeviceObject& device) override;

  ioctl::DeviceInterfaceProvider::OpenResult open(std::string_view interfaceClass, std::uint32_t instance);
  std::vector<std::string> interfaces() const;
  // A handle was closed (IRP_MJ_CLOSE already sent).
  void handleClosed(const std::shared_ptr<HostedDevice>& device);
  // The host goes away: every device leaves as if unplugged.
  void removeAll();

 private:
  void deviceLeaving(const std::shared_ptr<HostedDevice>& device);
  void removeIfUnused(const std::shared_ptr<HostedDevice>& device);

  kernel::NonPagedPool pool_;
  DriverObject driver_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<HostedDevice>> devices_;  // in arrival order
  std::uint64_t nextInterface_ = 0;
};

}  // namespace kqa::driver
