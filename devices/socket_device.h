#pragma once

#include <memory>
#include <string>

#include "devices/device_select.h"

namespace kqa::devices {

// A device served by a running kestrelqa-usbd: asks the daemon at `path`
// what it serves; null with a message when no daemon answers there.
std::unique_ptr<OpenedDevice> OpenSocketDevice(const std::string& path, std::string& error);

// The same over DaemonSocketPaths(): the first daemon that answers.
std::unique_ptr<OpenedDevice> OpenRunningDaemon(std::string& error);

}  // namespace kqa::devices
