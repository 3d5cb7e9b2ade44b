#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/device/device_context.h"
#include "app/device/pipelines.h"

namespace kqa::txrx {

// The fields of the chip's USB device descriptor that the "USB Config"
// page shows, each "%4X" (hexadecimal, right-aligned in four characters).
struct UsbDescriptorFields {
  std::string deviceId = "0000";  // idProduct
  std::string vendorId = "0000";  // idVendor
  std::string usbVersion;         // bcdUSB
  std::string deviceClass;        // bDeviceClass
  std::string deviceSubClass;     // bDeviceSubClass
  std::string ep0MaxPacketSize;   // bMaxPacketSize0
  std::string configurations;     // bNumConfigurations
};

struct UsbDescriptorField {
  std::string_view caption;  // "Device ID", ...
  std::string UsbDescriptorFields::*text;
};
// The seven fields in the page's order, with their captions.
std::span<const UsbDescriptorField> UsbDescriptorLayout();

// The fields of an 18-byte descriptor (all zeros shows "   0" throughout).
UsbDescriptorFields FormatUsbDescriptor(const device::DeviceDescriptorBytes& descriptor);

// The page's data exchange: reads the descriptor through the driver (zeros
// when that fails), stores idProduct in the context as the product id (0
// on failure) and returns what the page shows. `ok` says whether the read
// succeeded.
struct UsbDescriptorReading {
  bool ok = false;
  device::DeviceDescriptorBytes bytes{};
  UsbDescriptorFields fields;
};
UsbDescriptorReading ReadUsbConfiguration(device::DeviceContext& device);

}  // namespace kqa::txrx
