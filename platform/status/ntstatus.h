#pragma once

#include <cstdint>

namespace kqa {

// NTSTATUS values the driver completes requests with, as the kernel defines
// them. Negative (bit 31 set) means failure.
using NtStatus = std::int32_t;

inline constexpr NtStatus STATUS_SUCCESS = 0x00000000;
inline constexpr NtStatus STATUS_PENDING = 0x00000103;
inline constexpr NtStatus STATUS_BUFFER_OVERFLOW = static_cast<NtStatus>(0x80000005u);
inline constexpr NtStatus STATUS_DEVICE_BUSY = static_cast<NtStatus>(0x80000011u);
inline constexpr NtStatus STATUS_UNSUCCESSFUL = static_cast<NtStatus>(0xC0000001u);
inline constexpr NtStatus STATUS_INVALID_PARAMETER = static_cast<NtStatus>(0xC000000Du);
inline constexpr NtStatus STATUS_NO_SUCH_DEVICE = static_cast<NtStatus>(0xC000000Eu);
inline constexpr NtStatus STATUS_INVALID_DEVICE_REQUEST = static_cast<NtStatus>(0xC0000010u);
inline constexpr NtStatus STATUS_MORE_PROCESSING_REQUIRED = static_cast<NtStatus>(0xC0000016u);
inline constexpr NtStatus STATUS_ACCESS_DENIED = static_cast<NtStatus>(0xC0000022u);
inline constexpr NtStatus STATUS_BUFFER_TOO_SMALL = static_cast<NtStatus>(0xC0000023u);
inline constexpr NtStatus STATUS_SHARING_VIOLATION = static_cast<NtStatus>(0xC0000043u);
inline constexpr NtStatus STATUS_DELETE_PENDING = static_cast<NtStatus>(0xC0000056u);
inline constexpr NtStatus STATUS_INSUFFICIENT_RESOURCES = static_cast<NtStatus>(0xC000009Au);
inline constexpr NtStatus STATUS_DEVICE_NOT_CONNECTED = static_cast<NtStatus>(0xC000009Du);
inline constexpr NtStatus STATUS_IO_TIMEOUT = static_cast<NtStatus>(0xC00000B5u);
inline constexpr NtStatus STATUS_CANCELLED = static_cast<NtStatus>(0xC0000120u);

constexpr bool NT_SUCCESS(NtStatus status) { return status >= 0; }

// "STATUS_DEVICE_NOT_CONNECTED", or "0xC00000XX" for a value not listed above.
const char* NtStatusName(NtStatus status);

}  // namespace kqa
