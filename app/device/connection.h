#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "app/device/device_context.h"
#include "platform/ioctl/device_interface.h"

namespace kqa::device {

// The connection to the driver: instance 0 of the QA interface class, opened
// lazily and closed when the driver reports the device gone (error 1167).
// Safe to call from the UI thread and the capture worker at once: opening
// and closing are serialised, and a call in flight keeps its handle alive.

// Finds and opens instance `instance` of `interfaceClass`; traces what it
// finds. Null on any failure, whose kind and error code are kept in the
// context (lastOpenFailure, lastOpenError).
std::shared_ptr<ioctl::DeviceHandle> OpenDeviceInterface(DeviceContext& device,
                                                         std::string_view interfaceClass,
                                                         std::uint32_t instance);

// Opens instance 0 and stores the result (none on failure); true when open.
bool OpenDevice(DeviceContext& device);
// Closes the connection (also when none is open); always true.
bool CloseDevice(DeviceContext& device);
// True when a connection is open on return, opening one if needed.
bool EnsureDeviceOpen(DeviceContext& device);

// What a generic control-code call reports. `ok` follows the two wrappers'
// rules; `error` is the system error code (1167 when the device is gone, or
// when no connection was open) and `bytesReturned` the driver's count.
struct CallResult {
  bool ok = false;
  Win32Error error = ERROR_SUCCESS;
  std::uint32_t bytesReturned = 0;

  explicit operator bool() const { return ok; }
};

// One control code on the open connection, without re-opening. Succeeds
// only when the whole output came back (a code without output must report
// 0 bytes). Error 1167 closes the connection. Shows no message: the calling
// page reports the failure in its own words.
CallResult CallDevice(DeviceContext& device, std::uint32_t code,
                      std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

// As CallDevice, but any byte count is accepted and stored in `count`
// (left untouched on failure); for variable-length reads.
CallResult CallDeviceCount(DeviceContext& device, std::uint32_t code,
                           std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                           std::uint32_t& count);

// The typed operations' road: make sure a connection is open, then send one
// control code. nullopt when no connection could be opened (the operation
// then does nothing, silently). Error 1167 closes the connection here too, so
// that a lost device is noticed and re-opened whichever page saw it first.
std::optional<ioctl::ControlResult> CallOpenDevice(DeviceContext& device, std::uint32_t code,
                                                   std::span<const std::uint8_t> input,
                                                   std::span<std::uint8_t> output);

}  // namespace kqa::device
