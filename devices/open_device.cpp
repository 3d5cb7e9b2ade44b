#include "devices/device_select.h"
#include "devices/in_process_device.h"
#include "devices/socket_device.h"

namespace kqa::devices {

std::unique_ptr<OpenedDevice> OpenDevice(const DeviceChoice& choice, Clock& clock, std::string& error) {
  switch (choice.kind) {
    case DeviceChoice::Kind::Socket:
      return choice.socketPath.empty() ? OpenRunningDaemon(error)
                                     : OpenSocketDevice(choice.socketPath, error);
    case DeviceChoice::Kind::Auto: {
      // Each choice that is skipped says why, for a program that wants to
      // tell the engineer; the emulated chip is the last resort.
      std::string skipped;
      if (auto daemon = OpenRunningDaemon(skipped)) return daemon;
      std::string noChip;
      if (auto chip = OpenPresentUsbDevice(clock, noChip)) return chip;
      DeviceChoice emulated = choice;
      emulated.kind = DeviceChoice::Kind::Emulated;
      auto device = OpenInProcessDevice(emulated, clock, error);
      if (device) error = skipped + "; " + noChip;
      return device;
    }
    case DeviceChoice::Kind::Emulated:
    case DeviceChoice::Kind::EmulatedEfuse:
    case DeviceChoice::Kind::Usb:
      return OpenInProcessDevice(choice, clock, error);
  }
  error = "unknown device kind";
  return nullptr;
}

}  // namespace kqa::devices
