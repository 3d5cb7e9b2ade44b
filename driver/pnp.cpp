#include "driver/pnp.h"

#include <chrono>

#include "driver/io_references.h"
#include "driver/vendor_requests.h"
#include "platform/clock/polling.h"
#include "platform/usb/usb_device.h"

namespace kqa::driver {
namespace {

bool ChipAnswered(std::uint32_t identity) { return identity != 0 && identity != 0xFFFFFFFF; }

// The bus driver below us (the USB hub's device): it starts a device that
// is still connected and takes every other Plug and Play, power and system
// request without objection.
NtStatus CallBusDriver(DeviceState& dx, Irp& irp) {
  NtStatus status = STATUS_SUCCESS;
  if (irp.MajorFunction == IrpMajor::Pnp && irp.MinorFunction == PnpMinor::StartDevice) {
    usb::PortStatus port;
    if (dx.LowerDevice->getPortStatus(port) != usb::TransferStatus::Completed || !port.connected)
      status = STATUS_NO_SUCH_DEVICE;
  }
  return CompleteRequest(irp, status);
}

// "Skip the current stack location and call LowerDevice".
NtStatus PassDown(DeviceState& dx, Irp& irp) { return CallBusDriver(dx, irp); }

NtStatus StartDevice(DeviceState& dx, Irp& irp) {
  // The lower drivers start first; their answer comes back synchronously.
  const NtStatus lower = CallBusDriver(dx, irp);
  if (!NT_SUCCESS(lower)) return CompleteRequest(irp, lower);

  if (!dx.Started) dx.Started = 1;  // a USB device's resource lists hold nothing we need
  dx.RemovalQueried = 0;
  dx.NotReady = 0;
  DriverOf(dx).Io.SetDeviceInterfaceState(dx.InterfaceName, true);
  return CompleteRequest(irp, WaitForChip(dx, 501) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL);
}

void RemoveDevice(DeviceState& dx, Irp& irp) {
  StopAndWait(dx);
  PassDown(dx, irp);
  DriverObject& driver = DriverOf(dx);
  driver.Io.SetDeviceInterfaceState(dx.InterfaceName, false);
  dx.InterfaceName.clear();
  // Work handed to the system worker refers to this device: let it finish.
  driver.SystemWorker.flush();
  dx.LowerDevice = nullptr;  // IoDetachDevice
  driver.Io.DeleteDevice(*dx.Self);
}

}  // namespace

bool WaitForChip(DeviceState& dx, int reads) {
  const PollResult poll = PollUntil(ClockOf(dx), reads, std::chrono::microseconds(100), [&] {
    std::uint32_t identity = 0;
    if (Read32(dx, 0x0000, identity) != STATUS_SUCCESS) return false;  // no answer
    dx.AsicVersion = identity;
    return ChipAnswered(identity);
  });
  return poll.satisfied;
}

NtStatus DispatchPnp(DeviceObject& device, Irp& irp) {
  DeviceState& dx = device.DeviceExtension;
  if (!AcquireIoReference(dx)) return CompleteRequest(irp, STATUS_DELETE_PENDING);

  NtStatus status = STATUS_SUCCESS;
  switch (irp.MinorFunction) {
    case PnpMinor::StartDevice:
      status = StartDevice(dx, irp);
      break;
    case PnpMinor::QueryRemoveDevice:
      if (dx.OpenCount > 0) {  // refused while a handle is open
        status = CompleteRequest(irp, STATUS_UNSUCCESSFUL);
        break;
      }
      dx.RemovalQueried = 1;
      dx.NotReady = 1;
      status = PassDown(dx, irp);
      break;
    case PnpMinor::RemoveDevice:
      RemoveDevice(dx, irp);
      return irp.Status;  // the device is gone: no reference to release
    case PnpMinor::CancelRemoveDevice:
    case PnpMinor::CancelStopDevice:
      dx.RemovalQueried = 0;
      dx.NotReady = 0;
      status = PassDown(dx, irp);
      break;
    case PnpMinor::StopDevice:
    case PnpMinor::SurpriseRemoval:
      StopAndWait(dx);
      status = PassDown(dx, irp);
      break;
    case PnpMinor::QueryStopDevice:
      dx.RemovalQueried = 1;
      dx.NotReady = 1;
      status = PassDown(dx, irp);
      break;
    default:
      status = PassDown(dx, irp);
      break;
  }
  ReleaseIoReference(dx);
  return status;
}

NtStatus DispatchPower(DeviceObject& device, Irp& irp) {
  // PoStartNextPowerIrp, skip the stack location, PoCallDriver.
  return PassDown(device.DeviceExtension, irp);
}

NtStatus DispatchSystemControl(DeviceObject& device, Irp& irp) {
  DeviceState& dx = device.DeviceExtension;
  if (dx.NotReady) return CompleteRequest(irp, STATUS_DEVICE_NOT_CONNECTED);
  if (!AcquireIoReference(dx)) return CompleteRequest(irp, STATUS_DELETE_PENDING);
  const NtStatus status = PassDown(dx, irp);
  ReleaseIoReference(dx);
  return status;
}

}  // namespace kqa::driver
