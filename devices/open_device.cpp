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
      // Each choice that is passed over says why.
      std::string skipped;
      if (auto daemon = OpenRunningDaemon(skipped)) return daemon;
      std::string noChip;
      if (auto chip = OpenPresentUsbDevice(clock, noChip)) return chip;
      error = skipped + "; " + noChip +
              ". To work with the emulated chip, choose it: --device emulated (or emulated:efuse)";
      return nullptr;
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
