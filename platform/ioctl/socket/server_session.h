#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "platform/ioctl/device_interface.h"
#include "platform/ioctl/socket/sequence_gate.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/socket_status.h"

namespace kqa::ioctl {

// Everything one server connection needs besides its socket.
struct SessionContext {
  DeviceInterfaceProvider& provider;
  std::mutex& openMutex;  // held around provider.open()
  const SocketServerInfo& info;
  std::chrono::milliseconds frameTimeout;
  std::function<SocketServerStatus()> status;  // what a Status request answers
  std::atomic<bool>& handleOpen;               // true while the connection holds a handle
  SequenceGate& gate;                          // shared by every connection of the server
};

// Serves the requests arriving on the connected socket `fd` until the client
// goes away, breaks the protocol, stalls mid-frame, or the socket is shut
// down. The connection's handle is closed when it returns; the caller then
// ends the connection, so that a client that sees the end of the stream
// knows its handle is closed. Never throws.
void ServeConnection(int fd, const SessionContext& context);

}  // namespace kqa::ioctl
