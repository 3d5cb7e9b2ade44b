#include "platform/usb/usbfs/testing/preloaded_tests.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/usb/usbfs/preload_environment.h"

namespace kqa::usb::usbfs::testing {
namespace {

constexpr const char* kRestarted = "KQA_USBFS_TEST_RESTARTED";

}  // namespace

void RestartUnderPreload(char** argv) {
  if (PreloadActive() || std::getenv(kRestarted) != nullptr) return;
  std::vector<std::string> environment = PreloadEnvironment(CurrentEnvironment());
  environment.push_back(std::string(kRestarted) + "=1");
  std::vector<char*> pointers;
  for (std::string& entry : environment) pointers.push_back(entry.data());
  pointers.push_back(nullptr);
  ::execve("/proc/self/exe", argv, pointers.data());  // returns only when it fails
}

std::string UmockdevUnavailableReason() {
  if (PreloadActive()) return "";
  return std::string("umockdev cannot run here: its preload library ") + kPreloadLibrary +
         " is not loaded in the test (is the umockdev package installed? scripts/setup installs it)";
}

}  // namespace kqa::usb::usbfs::testing
