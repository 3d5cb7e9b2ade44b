#pragma once

#include <string>

#include "devices/device_select.h"

namespace kqa::usbd {

// kestrelqa-usbd's command line.
struct UsbdOptions {
  devices::DeviceChoice device;  // Emulated, EmulatedEfuse or Usb; Usb when not given
  std::string socketPath;    // empty: devices::DefaultSocketPath()
  std::string group;         // empty: the daemon's own group
  bool help = false;
};

// False with a message on anything it does not understand. --device takes
// only what the daemon can serve itself (not "socket" or "auto"), and the
// emulated chip's options (--state, --environment, --seed, --timing) only go
// with an emulated chip.
bool ParseUsbdOptions(int argc, const char* const* argv, UsbdOptions& options, std::string& error);

// The text of --help.
std::string UsbdHelpText();

}  // namespace kqa::usbd
