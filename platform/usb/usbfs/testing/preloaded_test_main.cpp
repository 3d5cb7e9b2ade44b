// main() of the tests that reach a UmockdevUsbBus from their own process.
#include <gtest/gtest.h>

#include "platform/usb/usbfs/preload_environment.h"

int main(int argc, char** argv) {
  kqa::usb::usbfs::RestartUnderPreload(argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
