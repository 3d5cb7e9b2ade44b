#include "driver/host/host_core.h"

#include <algorithm>
#include <cctype>

#include "driver/host/in_process_handle.h"
#include "platform/status/win32_error.h"

namespace kqa::driver {
namespace {

bool SameClass(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

NtStatus SendPnp(DeviceObject& device, PnpMinor minor) {
  Irp irp;
  irp.MajorFunction = IrpMajor::Pnp;
  irp.MinorFunction = minor;
  return IoCallDriver(device, irp);
}

}  // namespace

HostCore::HostCore(Clock& clock, std::size_t largestPoolAllocation)
    : pool_(largestPoolAllocation), driver_(clock, pool_, *this) {
  DriverEntry(driver_);
}

HostCore::~HostCore() = default;

void HostCore::deviceArrived(const std::shared_ptr<usb::UsbDevice>& usb) {
  std::shared_ptr<DeviceObject> object;
  if (!NT_SUCCESS(AddDevice(driver_, usb, object))) return;
  auto device = std::make_shared<HostedDevice>();
  device->object = object;
  device->usb = usb;
  device->interfaceName = object->DeviceExtension.InterfaceName;
  {
    std::lock_guard lock(mutex_);
    devices_.push_back(device);
  }
  // A device that does not start is taken away again, as the Plug and Play
  // manager does.
  if (!NT_SUCCESS(SendPnp(*object, PnpMinor::StartDevice))) deviceLeaving(device);
}

void HostCore::deviceLeft(const std::shared_ptr<usb::UsbDevice>& usb) {
  std::shared_ptr<HostedDevice> device;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d->usb == usb; });
    if (it == devices_.end()) return;
    device = *it;
  }
  deviceLeaving(device);
}

void HostCore::deviceLeaving(const std::shared_ptr<HostedDevice>& device) {
  {
    std::lock_guard lock(mutex_);
    if (device->leaving) return;
    device->leaving = true;
    device->interfaceEnabled = false;  // the instance disappears at once
  }
  // Requests in progress finish first; new ones fail from now on.
  SendPnp(*device->object, PnpMinor::SurpriseRemoval);
  {
    std::lock_guard lock(mutex_);
    device->surpriseDone = true;
  }
  removeIfUnused(device);
}

void HostCore::removeIfUnused(const std::shared_ptr<HostedDevice>& device) {
  {
    std::lock_guard lock(mutex_);
    if (!device->surpriseDone || device->openHandles > 0 || device->removeSent) return;
    device->removeSent = true;
  }
  SendPnp(*device->object, PnpMinor::RemoveDevice);
}

void HostCore::handleClosed(const std::shared_ptr<HostedDevice>& device) {
  {
    std::lock_guard lock(mutex_);
    --device->openHandles;
  }
  removeIfUnused(device);
}

void HostCore::removeAll() {
  std::vector<std::shared_ptr<HostedDevice>> devices;
  {
    std::lock_guard lock(mutex_);
    devices = devices_;
  }
  for (const auto& device : devices) deviceLeaving(device);
}

NtStatus HostCore::RegisterDeviceInterface(DeviceObject& device, std::string_view interfaceClass,
                                           std::string& symbolicLinkName) {
  const auto& usb = device.DeviceExtension.PhysicalDevice;
  std::lock_guard lock(mutex_);
  symbolicLinkName = "\\\\?\\kestrelqa#" + (usb ? usb->location() : std::string("unknown")) + "#" +
                     std::to_string(nextInterface_++) + "#" + std::string(interfaceClass);
  return STATUS_SUCCESS;
}

NtStatus HostCore::SetDeviceInterfaceState(const std::string& symbolicLinkName, bool enable) {
  std::lock_guard lock(mutex_);
  for (const auto& device : devices_) {
    if (device->interfaceName != symbolicLinkName) continue;
    // A leaving device's instance stays gone whatever the driver asks.
    device->interfaceEnabled = enable && !device->leaving;
    return STATUS_SUCCESS;
  }
  return STATUS_INVALID_PARAMETER;
}

void HostCore::DeleteDevice(DeviceObject& device) {
  std::lock_guard lock(mutex_);
  std::erase_if(devices_, [&](const auto& d) { return d->object.get() == &device; });
}

ioctl::DeviceInterfaceProvider::OpenResult HostCore::open(std::string_view interfaceClass,
                                                         std::uint32_t instance) {
  using Provider = ioctl::DeviceInterfaceProvider;
  Provider::OpenResult result;
  if (!SameClass(interfaceClass, ioctl::kQaInterfaceClass)) {
    result.failure = Provider::OpenFailure::UnknownClass;
    result.error = ERROR_FILE_NOT_FOUND;
    return result;
  }
  std::shared_ptr<HostedDevice> device;
  {
    std::lock_guard lock(mutex_);
    std::uint32_t index = 0;
    for (const auto& candidate : devices_) {
      if (!candidate->interfaceEnabled) continue;
      if (index++ == instance) {
        device = candidate;
        break;
      }
    }
    if (!device) {
      result.failure = Provider::OpenFailure::NoInstance;
      result.error = ERROR_FILE_NOT_FOUND;
      return result;
    }
    ++device->openHandles;  // before the create: a removal now waits for it
  }
  result.path = device->interfaceName;
  Irp irp;
  irp.MajorFunction = IrpMajor::Create;
  const NtStatus status = IoCallDriver(*device->object, irp);
  if (!NT_SUCCESS(status)) {
    handleClosed(device);
    result.failure = Provider::OpenFailure::OpenFailed;
    result.error = Win32ErrorFromNtStatus(status);
    return result;
  }
  result.handle = std::make_unique<InProcessHandle>(shared_from_this(), device);
  return result;
}

std::vector<std::string> HostCore::interfaces() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& device : devices_)
    if (device->interfaceEnabled) names.push_back(device->interfaceName);
  return names;
}

}  // namespace kqa::driver
