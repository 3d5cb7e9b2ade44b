#pragma once

#include <memory>
#include <string>

#include "platform/clock/clock.h"
#include "devices/device_select.h"

namespace kqa::devices {

// The driver in this process over a USB back end: the emulated chip
// (Emulated, EmulatedEfuse) or libusb (Usb). The one place that builds a back
// end from a DeviceChoice; the programs and kestrelqa-usbd both come here.
// Null with a message when the chip's state file cannot be used or libusb
// cannot start.
std::unique_ptr<OpenedDevice> OpenInProcessDevice(const DeviceChoice& choice, Clock& clock,
                                                  std::string& error);

// A real chip on USB when one with the default identifiers is present now;
// null otherwise, with the reason in `error`.
std::unique_ptr<OpenedDevice> OpenPresentUsbDevice(Clock& clock, std::string& error);

}  // namespace kqa::devices
