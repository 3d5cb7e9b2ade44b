#include <gtest/gtest.h>

#include <string>

#include "platform/status/ntstatus.h"
#include "platform/status/win32_error.h"

namespace kqa {
namespace {

TEST(StatusMapping, DriverStatusesReachTheProgramAsItsErrorCodes) {
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_SUCCESS), ERROR_SUCCESS);
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_DEVICE_NOT_CONNECTED), 1167u);
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_INVALID_DEVICE_REQUEST), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_DELETE_PENDING), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_UNSUCCESSFUL), ERROR_GEN_FAILURE);
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_INSUFFICIENT_RESOURCES), ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_BUFFER_TOO_SMALL), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(Win32ErrorFromNtStatus(STATUS_CANCELLED), ERROR_OPERATION_ABORTED);
}

TEST(StatusMapping, UnknownValuesFollowTheirSeverity) {
  EXPECT_EQ(Win32ErrorFromNtStatus(static_cast<NtStatus>(0xC0001234u)), ERROR_GEN_FAILURE);
  EXPECT_EQ(Win32ErrorFromNtStatus(0x00000001), ERROR_SUCCESS);
}

TEST(StatusMapping, SuccessIsNonNegative) {
  EXPECT_TRUE(NT_SUCCESS(STATUS_SUCCESS));
  EXPECT_TRUE(NT_SUCCESS(STATUS_PENDING));
  EXPECT_FALSE(NT_SUCCESS(STATUS_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(NT_SUCCESS(STATUS_BUFFER_OVERFLOW));
}

TEST(StatusMapping, NamesForTraces) {
  EXPECT_STREQ(NtStatusName(STATUS_DEVICE_NOT_CONNECTED), "STATUS_DEVICE_NOT_CONNECTED");
  EXPECT_EQ(std::string(NtStatusName(static_cast<NtStatus>(0xC0001234u))), "0xC0001234");
}

}  // namespace
}  // namespace kqa
