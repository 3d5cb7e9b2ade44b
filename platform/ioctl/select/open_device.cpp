#include "platform/ioctl/select/device_select.h"
#include "platform/ioctl/select/in_process_device.h"
#include "platform/ioctl/select/socket_device.h"

namespace kqa::ioctl {

std::unique_ptr<OpenedDevice> OpenDevice(const DeviceSpec& spec, Clock& clock, std::string& error) {
  switch (spec.kind) {
    case DeviceSpec::Kind::Socket:
      return spec.socketPath.empty() ? OpenRunningDaemon(error)
                                     : OpenSocketDevice(spec.socketPath, error);
    case DeviceSpec::Kind::Auto: {
      // Each choice that is skipped says why, for a program that wants to
      // tell the engineer; the emulated chip is the last resort.
      std::string skipped;
      if (auto daemon = OpenRunningDaemon(skipped)) return daemon;
      std::string noChip;
      if (auto chip = OpenPresentUsbDevice(clock, noChip)) return chip;
      DeviceSpec emulated = spec;
      emulated.kind = DeviceSpec::Kind::Emulated;
      auto device = OpenInProcessDevice(emulated, clock, error);
      if (device) error = skipped + "; " + noChip;
      return device;
    }
    case DeviceSpec::Kind::Emulated:
    case DeviceSpec::Kind::EmulatedEfuse:
    case DeviceSpec::Kind::Usb:
      return OpenInProcessDevice(spec, clock, error);
  }
  error = "unknown device kind";
  return nullptr;
}

}  // namespace kqa::ioctl
