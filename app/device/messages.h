#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ioctl/device_interface.h"
#include "platform/status/win32_error.h"

// The texts the device layer shows through the prompt, in one place so that
// pages and tests use exactly the same words.
namespace kqa::device::messages {

inline constexpr std::string_view kReadFailed = "DeviceIoControl read failed!";
// A register sequence another client of the shared device kept waiting.
inline constexpr std::string_view kSequenceBusy =
    "The device stayed busy with another client's register sequence; nothing was sent.";
inline constexpr std::string_view kWriteFailed = "DeviceIoControl write failed!";
inline constexpr std::string_view kFirmwareReloadFailed = "DeviceIoControl FirmwareReload failed!";
inline constexpr std::string_view kMaximumSize = "Maximum size must <= 512";

// "DeviceIoControl failed!  Error = %d": a configuration-memory transfer failed.
std::string DeviceIoControlFailed(Win32Error error);
std::string SendQACmdFailed(Win32Error error);
std::string ReceiveQACmdRspFailed(Win32Error error);
std::string QueryFirmwareModeFailed(Win32Error error);
std::string GetFirmwareVersionFailed(Win32Error error);

// A device that went away during an operation (system error 1167).
inline constexpr std::string_view kDeviceNotConnected = "device not connected (1167)";

// Why no connection could be opened, by the open's failure: "no Kestrel is
// plugged in (the driver has no device; error 2)", "the Kestrel is busy:
// another program has it open (error 32)", or the error code.
std::string DeviceUnavailable(ioctl::DeviceInterfaceProvider::OpenFailure failure, Win32Error error);

// The OK/Cancel question before an eFuse write.
std::string EfuseWriteQuestion(int freeBefore, int freeAfter);

// A write that was refused because it reaches past the memory it targets,
// e.g. "Offset 0x3FE with 4 bytes lies outside the 1024-byte EEPROM image!".
std::string OutOfRange(std::uint32_t offset, std::size_t count, std::size_t size,
                       std::string_view memory);

// An eFuse logical write at `offset` that could not be programmed and
// verified; `reason` says why (see EfuseWriteResultText).
std::string EfuseWriteFailed(std::uint32_t offset, std::string_view reason);

// An eFuse write refused before its first bit, e.g. "eFuse write refused:
// it needs 3 new blocks and only 2 are free; nothing was burnt!"
// (`reason`: EfuseRefusalReason).
std::string EfuseWriteRefused(std::string_view reason);

}  // namespace kqa::device::messages
