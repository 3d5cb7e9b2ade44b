#include "app/device/messages.h"

#include "app/device/text_format.h"

namespace kqa::device::messages {

std::string DeviceIoControlFailed(Win32Error error) {
  return Format("DeviceIoControl failed!  Error = %d", static_cast<int>(error));
}

std::string SendQACmdFailed(Win32Error error) {
  return Format("SendQACmd DeviceIoControl failed!  Error = %d", static_cast<int>(error));
}

std::string ReceiveQACmdRspFailed(Win32Error error) {
  return Format("ReceiveQACmdRsp DeviceIoControl failed!  Error = %d", static_cast<int>(error));
}

std::string QueryFirmwareModeFailed(Win32Error error) {
  return Format("DeviceIoControl QueryFirmwareMode failed!  Error = %d", static_cast<int>(error));
}

std::string GetFirmwareVersionFailed(Win32Error error) {
  return Format("DeviceIoControl GetFirmwareVersion failed!  Error = %d", static_cast<int>(error));
}

std::string DeviceUnavailable(ioctl::DeviceInterfaceProvider::OpenFailure failure, Win32Error error) {
  using Failure = ioctl::DeviceInterfaceProvider::OpenFailure;
  if (failure == Failure::UnknownClass || failure == Failure::NoInstance)
    return Format("no Kestrel is plugged in (the driver has no device; error %u)", error);
  if (error == ERROR_SHARING_VIOLATION)
    return Format("the Kestrel is busy: another program has it open (error %u)", error);
  if (error == ERROR_DEVICE_NOT_CONNECTED) return std::string(kDeviceNotConnected);
  return Format("the driver's device interface could not be opened (error %u)", error);
}

std::string EfuseWriteQuestion(int freeBefore, int freeAfter) {
  return Format("Free block before write=%d, after write=%d, are you sure to write?", freeBefore,
                freeAfter);
}

std::string OutOfRange(std::uint32_t offset, std::size_t count, std::size_t size,
                       std::string_view memory) {
  return Format("Offset 0x%X with %zu bytes lies outside the %zu-byte %.*s!", offset, count, size,
                static_cast<int>(memory.size()), memory.data());
}

std::string EfuseWriteFailed(std::uint32_t offset, std::string_view reason) {
  return Format("eFuse write failed at offset 0x%03X: %.*s!", offset,
                static_cast<int>(reason.size()), reason.data());
}

std::string EfuseWriteRefused(std::string_view reason) {
  return Format("eFuse write refused: %.*s; nothing was burnt!", static_cast<int>(reason.size()),
                reason.data());
}

}  // namespace kqa::device::messages
