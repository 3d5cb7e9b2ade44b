#pragma once

#include "app/device/device_context.h"

namespace kqa::shell {

// Whether the device can be reached now: a connection is open, or can be
// opened, and the driver still answers on it. The driver answers every
// request with "device not connected" once its device has gone, but the
// connection only closes when a call sees that answer; so an open
// connection is asked once with a request that changes nothing (the
// firmware version word). That closes a dead connection at once, and the
// next open decides.
bool DeviceReachable(device::DeviceContext& device);

}  // namespace kqa::shell
