#pragma once

#include <string_view>

#include "platform/status/win32_error.h"

namespace kqa::device {

// The name of a system error code the driver completes requests with
// ("ERROR_DEVICE_NOT_CONNECTED"), or "" for one it never uses; for output
// that an engineer reads next to the number.
std::string_view Win32ErrorName(Win32Error error);

}  // namespace kqa::device
