#include "platform/ioctl/select/device_select.h"
#include "platform/ioctl/select/socket_device.h"

namespace kqa::ioctl {

std::unique_ptr<OpenedDevice> OpenDevice(const DeviceSpec& spec, Clock& clock, std::string& error) {
  (void)clock;
  switch (spec.kind) {
    case DeviceSpec::Kind::Socket:
      return spec.socketPath.empty() ? OpenRunningDaemon(error)
                                     : OpenSocketDevice(spec.socketPath, error);
    case DeviceSpec::Kind::Auto:
      if (auto daemon = OpenRunningDaemon(error)) return daemon;
      break;
    default:
      break;
  }
  error = "the in-process driver is not available in this build yet";
  return nullptr;
}

}  // namespace kqa::ioctl
