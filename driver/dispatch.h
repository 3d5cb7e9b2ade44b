#pragma once

#include "driver/driver_object.h"

namespace kqa::driver {

// IRP_MJ_DEVICE_CONTROL: one control request at a time (RequestSemaphore),
// each checked against its code's layout, then carried out synchronously.
NtStatus DispatchDeviceControl(DeviceObject& device, Irp& irp);

}  // namespace kqa::driver
