#include <gtest/gtest.h>

#include <string>

#include "platform/status/ntstatus.h"
#include "platform/status/win32_error.h"

namespace kqa {
namespace {

TEST(StatusMapping, DriverStatusesReachTheProgramAsItsErrorCodesAndHaveNames) {
  const std::pair<NtStatus, Win32Error> known[] = {
      {STATUS_SUCCESS, ERROR_SUCCESS},
      {STATUS_DEVICE_NOT_CONNECTED, 1167u},
      {STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION},
      {STATUS_DELETE_PENDING, ERROR_ACCESS_DENIED},
      {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE},
      {STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES},
      {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER},
      {STATUS_CANCELLED, ERROR_OPERATION_ABORTED},
      {static_cast<NtStatus>(0xC0001234u), ERROR_GEN_FAILURE},  // unknown: by severity
      {0x00000001, ERROR_SUCCESS},
  };
  for (const auto& [status, error] : known)
    EXPECT_EQ(Win32ErrorFromNtStatus(status), error) << NtStatusName(status);
  EXPECT_TRUE(NT_SUCCESS(STATUS_PENDING));
  EXPECT_FALSE(NT_SUCCESS(STATUS_BUFFER_OVERFLOW));  // a warning is not a success
  EXPECT_STREQ(NtStatusName(STATUS_DEVICE_NOT_CONNECTED), "STATUS_DEVICE_NOT_CONNECTED");
  EXPECT_EQ(std::string(NtStatusName(static_cast<NtStatus>(0xC0001234u))), "0xC0001234");
}

}  // namespace
}  // namespace kqa
