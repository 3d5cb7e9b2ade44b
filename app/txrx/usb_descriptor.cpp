#include "app/txrx/usb_descriptor.h"

#include "app/device/text_format.h"
#include "platform/bytes/little_endian.h"

namespace kqa::txrx {
namespace {

const std::array<UsbDescriptorField, 7> kLayout = {{
    {"Device ID", &UsbDescriptorFields::deviceId},
    {"Vendor ID", &UsbDescriptorFields::vendorId},
    {"USB Spec. Ver.", &UsbDescriptorFields::usbVersion},
    {"DevClass", &UsbDescriptorFields::deviceClass},
    {"DevSubClass", &UsbDescriptorFields::deviceSubClass},
    {"EP0 MaxPacketSize", &UsbDescriptorFields::ep0MaxPacketSize},
    {"No. of Configurations", &UsbDescriptorFields::configurations},
}};

std::string Hex4(unsigned value) { return device::Format("%4X", value); }

}  // namespace

std::span<const UsbDescriptorField> UsbDescriptorLayout() { return kLayout; }

UsbDescriptorFields FormatUsbDescriptor(const device::DeviceDescriptorBytes& d) {
  UsbDescriptorFields fields;
  fields.deviceId = Hex4(GetLe16(d, 10));
  fields.vendorId = Hex4(GetLe16(d, 8));
  fields.usbVersion = Hex4(GetLe16(d, 2));
  fields.deviceClass = Hex4(d[4]);
  fields.deviceSubClass = Hex4(d[5]);
  fields.ep0MaxPacketSize = Hex4(d[7]);
  fields.configurations = Hex4(d[17]);
  return fields;
}

UsbDescriptorReading ReadUsbConfiguration(device::DeviceContext& device) {
  UsbDescriptorReading reading;
  reading.ok = device::ReadDeviceDescriptor(device, reading.bytes).ok;
  reading.fields = FormatUsbDescriptor(reading.bytes);
  device.settings.productId = GetLe16(reading.bytes, 10);
  return reading;
}

}  // namespace kqa::txrx
