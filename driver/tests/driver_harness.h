#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/driver_object.h"
#include "platform/clock/virtual_clock.h"
#include "platform/usb/emulated/emulated_device.h"
#include "platform/usb/testing/fake_device_model.h"
#include "platform/usb/testing/scripted_usb_device.h"

namespace kqa::driver::testing {

// The I/O manager as the driver-level tests need it: remembers what the
// driver asked for.
class RecordingIoManager final : public IoManager {
 public:
  NtStatus RegisterDeviceInterface(DeviceObject&, std::string_view interfaceClass,
                                   std::string& symbolicLinkName) override {
    symbolicLinkName = "\\\\?\\test#0#" + std::string(interfaceClass);
    registered = symbolicLinkName;
    return STATUS_SUCCESS;
  }
  NtStatus SetDeviceInterfaceState(const std::string& name, bool enable) override {
    if (name == registered) enabled = enable;
    return STATUS_SUCCESS;
  }
  void DeleteDevice(DeviceObject&) override { deleted = true; }

  std::string registered;
  bool enabled = false;
  bool deleted = false;
};

// The driver loaded over one device, without a host: the tests send the
// requests themselves and can look at DeviceState. The lower device is the
// emulated chip behind a scripted fake stack.
class DriverHarness {
 public:
  DriverHarness();
  ~DriverHarness();

  DeviceState& dx() { return device->DeviceExtension; }
  NtStatus pnp(PnpMinor minor);
  NtStatus create();
  NtStatus close();
  struct Reply {
    NtStatus status;
    std::vector<std::uint8_t> output;  // Information bytes of the system buffer
  };
  Reply control(std::uint32_t code, std::vector<std::uint8_t> input = {}, std::uint32_t outputLength = 0);
  Reply readMac(std::uint16_t address = 0);  // VQ_OID_USB_VENDOR_MAC_READ

  VirtualClock clock;
  usb::testing::FakeDeviceModel chip;
  std::shared_ptr<kernel::WorkQueue> failures = std::make_shared<kernel::WorkQueue>();
  std::shared_ptr<usb::EmulatedUsbDevice> emulated;
  std::shared_ptr<usb::testing::ScriptedUsbDevice> lower;
  kernel::NonPagedPool pool;
  RecordingIoManager io;
  DriverObject driver{clock, pool, io};
  std::shared_ptr<DeviceObject> device;
  bool open = false;
};

}  // namespace kqa::driver::testing
