#pragma once

#include "driver/device_state.h"

namespace kqa::driver {

// I/O references let a stop or removal wait for the requests in progress.
// IoCount starts at 1, the device's own reference.

// False while a stop or removal is draining: the caller then completes its
// request with STATUS_DELETE_PENDING.
bool AcquireIoReference(DeviceState& dx);
// Sets IoIdleEvent when the count reaches 0.
void ReleaseIoReference(DeviceState& dx);

// Stop and wait (stop, surprise removal, removal): new requests fail from
// here on, and those holding a reference finish before this returns.
void StopAndWait(DeviceState& dx);

}  // namespace kqa::driver
