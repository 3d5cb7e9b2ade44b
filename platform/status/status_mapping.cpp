#include <cstdio>

#include "platform/status/ntstatus.h"
#include "platform/status/win32_error.h"

namespace kqa {
namespace {

struct StatusEntry {
  NtStatus status;
  Win32Error error;
  const char* name;
};

constexpr StatusEntry kStatusTable[] = {
    {STATUS_SUCCESS, ERROR_SUCCESS, "STATUS_SUCCESS"},
    {STATUS_PENDING, ERROR_IO_PENDING, "STATUS_PENDING"},
    {STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA, "STATUS_BUFFER_OVERFLOW"},
    {STATUS_DEVICE_BUSY, ERROR_BUSY, "STATUS_DEVICE_BUSY"},
    {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE, "STATUS_UNSUCCESSFUL"},
    {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER, "STATUS_INVALID_PARAMETER"},
    {STATUS_NO_SUCH_DEVICE, ERROR_FILE_NOT_FOUND, "STATUS_NO_SUCH_DEVICE"},
    {STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION, "STATUS_INVALID_DEVICE_REQUEST"},
    {STATUS_MORE_PROCESSING_REQUIRED, ERROR_GEN_FAILURE, "STATUS_MORE_PROCESSING_REQUIRED"},
    {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED, "STATUS_ACCESS_DENIED"},
    {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER, "STATUS_BUFFER_TOO_SMALL"},
    {STATUS_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, "STATUS_SHARING_VIOLATION"},
    {STATUS_DELETE_PENDING, ERROR_ACCESS_DENIED, "STATUS_DELETE_PENDING"},
    {STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES, "STATUS_INSUFFICIENT_RESOURCES"},
    {STATUS_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED, "STATUS_DEVICE_NOT_CONNECTED"},
    {STATUS_IO_TIMEOUT, ERROR_SEM_TIMEOUT, "STATUS_IO_TIMEOUT"},
    {STATUS_CANCELLED, ERROR_OPERATION_ABORTED, "STATUS_CANCELLED"},
};

const StatusEntry* FindStatus(NtStatus status) {
  for (const StatusEntry& entry : kStatusTable)
    if (entry.status == status) return &entry;
  return nullptr;
}

}  // namespace

const char* NtStatusName(NtStatus status) {
  if (const StatusEntry* entry = FindStatus(status)) return entry->name;
  thread_local char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

Win32Error Win32ErrorFromNtStatus(NtStatus status) {
  if (const StatusEntry* entry = FindStatus(status)) return entry->error;
  // Any other failure reaches the caller as a generic device failure; other
  // success and informational values count as success.
  return NT_SUCCESS(status) ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

}  // namespace kqa
