#include "driver/tests/driver_harness.h"

#include <algorithm>

#include "platform/ioctl/control_codes.h"

namespace kqa::driver::testing {

DriverHarness::DriverHarness()
    : emulated(std::make_shared<usb::EmulatedUsbDevice>(chip, clock, failures)),
      lower(std::make_shared<usb::testing::ScriptedUsbDevice>(emulated)) {
  DriverEntry(driver);
  AddDevice(driver, lower, device);
}

DriverHarness::~DriverHarness() {
  if (open) close();
  if (!io.deleted) {
    pnp(PnpMinor::SurpriseRemoval);
    pnp(PnpMinor::RemoveDevice);
  }
}

NtStatus DriverHarness::pnp(PnpMinor minor) {
  Irp irp;
  irp.MajorFunction = IrpMajor::Pnp;
  irp.MinorFunction = minor;
  return IoCallDriver(*device, irp);
}

NtStatus DriverHarness::create() {
  Irp irp;
  irp.MajorFunction = IrpMajor::Create;
  const NtStatus status = IoCallDriver(*device, irp);
  open = open || NT_SUCCESS(status);
  return status;
}

NtStatus DriverHarness::close() {
  Irp irp;
  irp.MajorFunction = IrpMajor::Close;
  open = false;
  return IoCallDriver(*device, irp);
}

DriverHarness::Reply DriverHarness::control(std::uint32_t code, std::vector<std::uint8_t> input,
                                            std::uint32_t outputLength) {
  std::vector<std::uint8_t> buffer(std::max<std::size_t>(input.size(), outputLength));
  std::copy(input.begin(), input.end(), buffer.begin());
  Irp irp;
  irp.MajorFunction = IrpMajor::DeviceControl;
  irp.IoControlCode = code;
  irp.InputBufferLength = static_cast<std::uint32_t>(input.size());
  irp.OutputBufferLength = outputLength;
  irp.SystemBuffer = buffer.data();
  Reply reply{IoCallDriver(*device, irp), {}};
  buffer.resize(irp.Information);
  reply.output = std::move(buffer);
  return reply;
}

DriverHarness::Reply DriverHarness::readMac(std::uint16_t address) {
  return control(ioctl::VQ_OID_USB_VENDOR_MAC_READ,
                 {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8), 0, 0}, 4);
}

}  // namespace kqa::driver::testing
