#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kqa::usb::usbfs::testing {

// Tests that serve a device through a UmockdevUsbBus and reach it in the same
// process need umockdev's preload library loaded in that process. Their
// main() (preloaded_test_main.cpp) starts the test program again with it
// when it is not (RestartUnderPreload); a test calls
// KQA_SKIP_WITHOUT_UMOCKDEV() first.

// Why umockdev cannot run in this process, or "" when it can.
std::string UmockdevUnavailableReason();

}  // namespace kqa::usb::usbfs::testing

#define KQA_SKIP_WITHOUT_UMOCKDEV()                                                             \
  do {                                                                                          \
    if (const std::string reason = ::kqa::usb::usbfs::testing::UmockdevUnavailableReason();     \
        !reason.empty())                                                                        \
      GTEST_SKIP() << reason;                                                                   \
  } while (false)
