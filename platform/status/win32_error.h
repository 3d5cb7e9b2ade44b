#pragma once

#include <cstdint>

#include "platform/status/ntstatus.h"

namespace kqa {

// The system error codes the program sees after a failed device call (what
// GetLastError reports on the platform the tool was first written for).
using Win32Error = std::uint32_t;

inline constexpr Win32Error ERROR_SUCCESS = 0;
inline constexpr Win32Error ERROR_INVALID_FUNCTION = 1;
inline constexpr Win32Error ERROR_FILE_NOT_FOUND = 2;
inline constexpr Win32Error ERROR_ACCESS_DENIED = 5;
inline constexpr Win32Error ERROR_INVALID_HANDLE = 6;
inline constexpr Win32Error ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr Win32Error ERROR_GEN_FAILURE = 31;
inline constexpr Win32Error ERROR_SHARING_VIOLATION = 32;
inline constexpr Win32Error ERROR_INVALID_PARAMETER = 87;
inline constexpr Win32Error ERROR_SEM_TIMEOUT = 121;
inline constexpr Win32Error ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr Win32Error ERROR_BUSY = 170;
inline constexpr Win32Error ERROR_ALREADY_EXISTS = 183;
inline constexpr Win32Error ERROR_MORE_DATA = 234;
inline constexpr Win32Error ERROR_OPERATION_ABORTED = 995;
inline constexpr Win32Error ERROR_IO_PENDING = 997;
inline constexpr Win32Error ERROR_DEVICE_NOT_CONNECTED = 1167;
inline constexpr Win32Error ERROR_NO_SYSTEM_RESOURCES = 1450;

// How the I/O manager reports a request's completion status to the caller of
// a device-control request. STATUS_DEVICE_NOT_CONNECTED becomes 1167, which
// the program treats as "the device is gone".
Win32Error Win32ErrorFromNtStatus(NtStatus status);

}  // namespace kqa
