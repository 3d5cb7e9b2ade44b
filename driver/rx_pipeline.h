#pragma once

#include <cstddef>

#include "driver/device_state.h"

namespace kqa::driver {

// The two IN pipelines. IN pipe 0 also carries the firmware's command
// responses, keeps the receive statistics and checks the stamps written by
// the OUT side; both record raw transfers into the capture ring while it
// records.

// SubmitIn as a start: false when the pipe has no endpoint, is running
// already, or is being stopped.
bool StartInPipe(DeviceState& dx, std::size_t k);

// StopIn: cancels IN pipe k's transfer in flight and waits for it, replaces
// the request packet, and leaves RxUsers[k] = 0. Passive level.
void StopIn(DeviceState& dx, std::size_t k);

// The completion routine of IN pipe k (public for the tests of its rules).
void InCompletion(DeviceState& dx, std::size_t k, usb::TransferResult result);

}  // namespace kqa::driver
