#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "driver/device_state.h"

namespace kqa::driver {

// The ten OUT pipelines. Each repeats its loaded packet, rewritten before
// every submission for the payload mode, while TxContinuous or TxSendCount
// say so; its completion routine resubmits its own request packet.

// Loads a packet into OUT pipe n: the first `pipeLength` bytes of the pipe's
// buffer are cleared and `packet` (at most pipeLength bytes) copied to the
// start; TxLength[n] = pipeLength. While the pipe's transfer is in flight
// the buffer belongs to it, so the load waits for the pipe's next submission.
void LoadOutPipe(DeviceState& dx, std::size_t n, std::span<const std::uint8_t> packet,
                 std::uint32_t pipeLength);

// SubmitOut as a start: false when the pipe has no endpoint, is running
// already (its next resubmission takes the new settings) or is being closed.
bool StartOutPipe(DeviceState& dx, std::size_t n);

// The completion routine of OUT pipe n (public for the tests of its rules).
void OutCompletion(DeviceState& dx, std::size_t n, usb::TransferResult result);

}  // namespace kqa::driver
