#include "app/shell/device_probe.h"

#include <array>

#include "app/device/connection.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::shell {

bool DeviceReachable(device::DeviceContext& device) {
  if (!device::EnsureDeviceOpen(device)) return false;
  std::array<std::uint8_t, 4> version{};
  const device::CallResult answer =
      device::CallDevice(device, ioctl::VQ_OID_USB_GET_FIRMWARE_VERSION, {}, version);
  if (answer || answer.error != ERROR_DEVICE_NOT_CONNECTED) return true;
  // The call closed the dead connection; a device that is back already
  // opens again.
  return device::EnsureDeviceOpen(device);
}

}  // namespace kqa::shell
