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
