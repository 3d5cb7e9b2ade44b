#include "platform/usb/usbfs/preload_environment.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace kqa::usb::usbfs {
namespace {

constexpr const char* kRestarted = "KQA_USBFS_RESTARTED";  // at most one restart

// Sets NAME to `value` in `environment`, or changes the value with `change`.
template <class Change>
void Edit(std::vector<std::string>& environment, const std::string& name, Change change) {
  const std::string prefix = name + "=";
  for (std::string& entry : environment) {
    if (entry.compare(0, prefix.size(), prefix) == 0) {
      entry = prefix + change(entry.substr(prefix.size()));
      return;
    }
  }
  environment.push_back(prefix + change(std::string()));
}

}  // namespace

std::vector<std::string> PreloadEnvironment(const std::vector<std::string>& environment) {
  std::vector<std::string> result = environment;
  Edit(result, "LD_PRELOAD", [](const std::string& value) {
    if (value.find(kPreloadLibrary) != std::string::npos) return value;
    return value.empty() ? std::string(kPreloadLibrary) : std::string(kPreloadLibrary) + ":" + value;
  });
  Edit(result, "ASAN_OPTIONS", [](const std::string& value) {
    if (value.find("verify_asan_link_order") != std::string::npos) return value;
    return value.empty() ? std::string("verify_asan_link_order=0") : value + ":verify_asan_link_order=0";
  });
  return result;
}

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
  return entries;
}

bool PreloadActive() {
  // Already loaded, or not at all: RTLD_NOLOAD loads nothing.
  void* library = ::dlopen(kPreloadLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return false;
  ::dlclose(library);
  return true;
}

void RestartUnderPreload(char** argv) {
  if (PreloadActive() || std::getenv(kRestarted) != nullptr) return;
  std::vector<std::string> environment = PreloadEnvironment(CurrentEnvironment());
  environment.push_back(std::string(kRestarted) + "=1");
  std::vector<char*> pointers;
  for (std::string& entry : environment) pointers.push_back(entry.data());
  pointers.push_back(nullptr);
  ::execve("/proc/self/exe", argv, pointers.data());  // returns only when it fails
}

}  // namespace kqa::usb::usbfs
