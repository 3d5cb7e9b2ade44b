#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/status/win32_error.h"

namespace kqa::ioctl {

// The interface class the QA driver registers and the program opens.
inline constexpr std::string_view kQaInterfaceClass = "{9C4D2A71-3B8E-4F06-A15D-7E2C90B46F13}";

// What a device-control call reports: the system error code (0 on success)
// and the byte count the driver completed the request with.
struct ControlResult {
  Win32Error error = ERROR_SUCCESS;
  std::uint32_t bytesReturned = 0;

  bool succeeded() const { return error == ERROR_SUCCESS; }
};

// One open handle on a device interface instance. Destroying it closes the
// handle. control() has buffered semantics: the input bytes are copied in,
// at most output.size() bytes are copied back into `output`, and nothing is
// shared by pointer. Implementations serve concurrent callers (the program's
// UI thread and its capture worker) one call at a time.
class DeviceHandle {
 public:
  virtual ~DeviceHandle() = default;

  virtual ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                                std::span<std::uint8_t> output) = 0;

  // Brackets a multi-step register sequence (the eFuse controller, the BBP
  // and RF command registers) so that no other user of a shared device gets
  // a call in between. A handle that is its device's only user has nothing
  // to do. False when the sequence could not be secured: it must then not
  // be started (and endSequence() not called).
  virtual bool beginSequence() { return true; }
  virtual void endSequence() {}
};

// Finds instance N of an interface class and opens it (the enumeration and
// open steps of the platform this tool came from).
class DeviceInterfaceProvider {
 public:
  enum class OpenFailure {
    None,
    UnknownClass,  // no device of this class is known at all
    NoInstance,    // the class is known but instance N is not present
    OpenFailed,    // present, but opening it failed (see error)
  };

  struct OpenResult {
    std::unique_ptr<DeviceHandle> handle;  // null on failure
    OpenFailure failure = OpenFailure::None;
    Win32Error error = ERROR_SUCCESS;
    std::string path;  // the instance's symbolic link, for the trace
  };

  virtual ~DeviceInterfaceProvider() = default;

  virtual OpenResult open(std::string_view interfaceClass, std::uint32_t instance) = 0;
};

}  // namespace kqa::ioctl
