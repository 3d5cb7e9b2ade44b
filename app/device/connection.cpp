#include "app/device/connection.h"

#include "app/device/text_format.h"

namespace kqa::device {
namespace {

using ioctl::DeviceInterfaceProvider;

// Sends one code on `handle` and closes the connection when the driver says
// the device is gone.
ioctl::ControlResult Send(DeviceContext& device, const std::shared_ptr<ioctl::DeviceHandle>& handle,
                          std::uint32_t code, std::span<const std::uint8_t> input,
                          std::span<std::uint8_t> output) {
  const ioctl::ControlResult result = handle->control(code, input, output);
  if (result.error == ERROR_DEVICE_NOT_CONNECTED) device.hDevice.resetIfHolding(handle.get());
  return result;
}

CallResult Call(DeviceContext& device, std::uint32_t code, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output, bool wholeOutput) {
  const std::shared_ptr<ioctl::DeviceHandle> handle = device.hDevice.get();
  if (!handle) return {false, ERROR_DEVICE_NOT_CONNECTED, 0};
  const ioctl::ControlResult result = Send(device, handle, code, input, output);
  CallResult call{result.succeeded(), result.error, result.bytesReturned};
  if (wholeOutput && result.bytesReturned != output.size()) call.ok = false;
  return call;
}

}  // namespace

std::shared_ptr<ioctl::DeviceHandle> OpenDeviceInterface(DeviceContext& device,
                                                         std::string_view interfaceClass,
                                                         std::uint32_t instance) {
  DeviceInterfaceProvider::OpenResult opened = device.provider.open(interfaceClass, instance);
  device.lastOpenFailure = opened.failure;
  device.lastOpenError = opened.error;
  switch (opened.failure) {
    case DeviceInterfaceProvider::OpenFailure::UnknownClass:
      if (device.trace) device.trace("No HDEVINFO available for this GUID\n");
      return nullptr;
    case DeviceInterfaceProvider::OpenFailure::NoInstance:
      if (device.trace) device.trace("No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n");
      return nullptr;
    case DeviceInterfaceProvider::OpenFailure::OpenFailed:
    case DeviceInterfaceProvider::OpenFailure::None:
      break;
  }
  if (device.trace) device.trace(Format("Symbolic link is %s\n", opened.path.c_str()));
  if (opened.failure != DeviceInterfaceProvider::OpenFailure::None) return nullptr;
  return std::shared_ptr<ioctl::DeviceHandle>(std::move(opened.handle));
}

bool OpenDevice(DeviceContext& device) {
  std::lock_guard lock(device.openLock);
  // Close first: the driver serves one handle at a time.
  device.hDevice.reset();
  device.hDevice.reset(OpenDeviceInterface(device, ioctl::kQaInterfaceClass, 0));
  return device.hDevice.isOpen();
}

bool CloseDevice(DeviceContext& device) {
  std::lock_guard lock(device.openLock);
  device.hDevice.reset();
  return true;
}

bool EnsureDeviceOpen(DeviceContext& device) {
  if (device.hDevice.isOpen()) return true;
  std::lock_guard lock(device.openLock);
  // Another thread may have opened it while this one waited.
  if (device.hDevice.isOpen()) return true;
  device.hDevice.reset(OpenDeviceInterface(device, ioctl::kQaInterfaceClass, 0));
  return device.hDevice.isOpen();
}

CallResult CallDevice(DeviceContext& device, std::uint32_t code,
                      std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  return Call(device, code, input, output, true);
}

CallResult CallDeviceCount(DeviceContext& device, std::uint32_t code,
                           std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                           std::uint32_t& count) {
  const CallResult call = Call(device, code, input, output, false);
  if (call.ok) count = call.bytesReturned;
  return call;
}

std::optional<ioctl::ControlResult> CallOpenDevice(DeviceContext& device, std::uint32_t code,
                                                   std::span<const std::uint8_t> input,
                                                   std::span<std::uint8_t> output) {
  if (!EnsureDeviceOpen(device)) return std::nullopt;
  const std::shared_ptr<ioctl::DeviceHandle> handle = device.hDevice.get();
  if (!handle) return std::nullopt;  // closed by another thread just now
  return Send(device, handle, code, input, output);
}

}  // namespace kqa::device
