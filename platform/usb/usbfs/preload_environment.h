#pragma once

#include <string>
#include <vector>

namespace kqa::usb::usbfs {

// umockdev's preload library: what makes a process see the test bed
// ($UMOCKDEV_DIR) instead of the real /sys and /dev.
inline constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";

// `environment` (NAME=VALUE entries) as a process needs it to see the test
// bed: the preload library first in LD_PRELOAD, and verify_asan_link_order=0
// added to ASAN_OPTIONS, so that a program built with AddressSanitizer
// accepts a library loaded before ASan's runtime (ASan still intercepts what
// the preload library passes on).
std::vector<std::string> PreloadEnvironment(const std::vector<std::string>& environment);

// This process's environment (environ) as entries.
std::vector<std::string> CurrentEnvironment();

// Whether the preload library is loaded in this process.
bool PreloadActive();

// Re-executes this program with the preload library when it is not loaded
// yet; returns when it is loaded, or when it cannot be. A process that owns
// a UmockdevUsbBus needs it too: umockdev builds the uevents it sends from
// sysfs as the preload library shows it.
void RestartUnderPreload(char** argv);

}  // namespace kqa::usb::usbfs
