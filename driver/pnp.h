#pragma once

#include "driver/driver_object.h"

namespace kqa::driver {

// IRP_MJ_PNP, IRP_MJ_POWER and IRP_MJ_SYSTEM_CONTROL.
NtStatus DispatchPnp(DeviceObject& device, Irp& irp);
NtStatus DispatchPower(DeviceObject& device, Irp& irp);
NtStatus DispatchSystemControl(DeviceObject& device, Irp& irp);

// IRP_MJ_CREATE and IRP_MJ_CLOSE: every open sets the device up, every close
// tears it down; one handle at a time.
NtStatus DispatchCreate(DeviceObject& device, Irp& irp);
NtStatus DispatchClose(DeviceObject& device, Irp& irp);

// Reads register 0x0000 into AsicVersion until it is neither 0 nor
// 0xFFFFFFFF, 100 us apart, at most `reads` times; true once it answered.
bool WaitForChip(DeviceState& dx, int reads);

}  // namespace kqa::driver
