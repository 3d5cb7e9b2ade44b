#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ioctl/device_interface.h"
#include "platform/ioctl/socket/socket_status.h"

namespace kqa::ioctl {

// What a socket server says about the device it serves.
struct SocketServerInfo {
  std::string description;  // e.g. "emulated Kestrel (EEPROM board)"
  bool emulated = false;
};

// Asks the server at `path` to describe its device. False, with a message
// for the engineer, when no server answers there.
bool DescribeSocketServer(const std::string& path, SocketServerInfo& info, std::string& error);

// Asks the server at `path` for its status: its device, how long it has
// served, and every connection with the process behind it (the asking
// connection is among them, marked). False, with a message, when no server
// answers there or it does not know the request (an older kestrelqa-usbd).
bool QuerySocketServerStatus(const std::string& path, SocketServerStatus& status, std::string& error);

// The client side of the socket transport. Each open() is one connection to
// the server and one handle on its device:
// - the server's provider answers the open, so a second client gets exactly
//   what a second in-process open would get;
// - control() carries the call and blocks until the server answers; calls
//   from several threads on one handle go out one at a time;
// - a lost connection (the server or its device gone, a garbled reply) fails
//   that call and every later one with ERROR_DEVICE_NOT_CONNECTED (1167);
// - an input longer than the transport's limit fails with
//   ERROR_INVALID_PARAMETER without being sent; an output buffer larger than
//   the largest any code returns is offered at that largest size;
// - destroying the handle closes the connection and returns once the server
//   has closed its handle (or after a few seconds when it does not answer),
//   so an open that follows finds the device free.
// A server that cannot be reached makes open() fail with NoInstance
// (ERROR_FILE_NOT_FOUND), or OpenFailed with ERROR_ACCESS_DENIED when the
// socket's permissions keep this user out.
class SocketDeviceInterfaceProvider final : public DeviceInterfaceProvider {
 public:
  explicit SocketDeviceInterfaceProvider(std::string path) : path_(std::move(path)) {}

  OpenResult open(std::string_view interfaceClass, std::uint32_t instance) override;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace kqa::ioctl
