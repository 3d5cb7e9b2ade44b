#include "driver/dispatch.h"
#include "driver/driver_object.h"
#include "driver/pnp.h"
#include "platform/ioctl/device_interface.h"

namespace kqa::driver {
namespace {

NtStatus NotServed(DeviceObject&, Irp& irp) { return CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST); }

std::size_t Major(IrpMajor major) { return static_cast<std::size_t>(major); }

}  // namespace

void DriverEntry(DriverObject& driver) {
  driver.MajorFunction.fill(&NotServed);  // reads and writes, for instance
  driver.MajorFunction[Major(IrpMajor::Create)] = &DispatchCreate;
  driver.MajorFunction[Major(IrpMajor::Close)] = &DispatchClose;
  driver.MajorFunction[Major(IrpMajor::DeviceControl)] = &DispatchDeviceControl;
  driver.MajorFunction[Major(IrpMajor::SystemControl)] = &DispatchSystemControl;
  driver.MajorFunction[Major(IrpMajor::Power)] = &DispatchPower;
  driver.MajorFunction[Major(IrpMajor::Pnp)] = &DispatchPnp;
}

NtStatus AddDevice(DriverObject& driver, std::shared_ptr<usb::UsbDevice> pdo,
                   std::shared_ptr<DeviceObject>& created) {
  auto device = std::make_shared<DeviceObject>(driver);
  device->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;
  DeviceState& dx = device->DeviceExtension;
  dx.Self = device.get();
  dx.PhysicalDevice = std::move(pdo);

  const NtStatus status =
      driver.Io.RegisterDeviceInterface(*device, ioctl::kQaInterfaceClass, dx.InterfaceName);
  if (!NT_SUCCESS(status)) return status;  // the device object goes with `device`

  dx.LowerDevice = dx.PhysicalDevice.get();  // IoAttachDeviceToDeviceStack
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  created = std::move(device);
  return STATUS_SUCCESS;
}

NtStatus IoCallDriver(DeviceObject& device, Irp& irp) {
  return device.Driver->MajorFunction[Major(irp.MajorFunction)](device, irp);
}

}  // namespace kqa::driver
