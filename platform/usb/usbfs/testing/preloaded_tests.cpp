#include "platform/usb/usbfs/testing/preloaded_tests.h"

#include "platform/usb/usbfs/preload_environment.h"

namespace kqa::usb::usbfs::testing {

std::string UmockdevUnavailableReason() {
  if (PreloadActive()) return "";
  return std::string("umockdev cannot run here: its preload library ") + kPreloadLibrary +
         " is not loaded in the test (is the umockdev package installed? scripts/setup installs it)";
}

}  // namespace kqa::usb::usbfs::testing
