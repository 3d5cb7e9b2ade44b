#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ioctl/device_interface.h"
#include "platform/ioctl/socket/sequence_gate.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/socket_io.h"
#include "platform/ioctl/socket/socket_status.h"

namespace kqa::ioctl {

struct SocketServerOptions {
  // Connections served at once; a further one is closed as soon as it is
  // accepted.
  std::size_t maxClients = 16;
  // How long a frame may take to arrive once its first byte has, and how
  // long a reply may take to drain. A client that stalls longer is dropped
  // (and its handle closed), so it cannot hold a slot forever. Waiting
  // between frames is not limited: an idle client keeps its handle.
  std::chrono::milliseconds frameTimeout{10'000};
  // What a Status request says of the device besides its description (the
  // daemon: whether it holds the device open); empty says nothing. Called on
  // a connection's thread.
  std::function<std::string()> deviceState{};
};

// Serves a DeviceInterfaceProvider to any number of socket clients, one
// thread per connection. Each connection may open one handle; its control
// calls go to that handle. A connection that breaks the protocol (see
// platform/ioctl/README.md), stalls mid-frame or goes away is dropped, and
// its handle closed before the connection closes. Opens are passed to the
// provider one at a time; control calls on different handles may overlap,
// as they would in-process. A Status request lists the connections with the
// process and program behind each (see platform/ioctl/README.md).
class SocketServer {
 public:
  // `listener` is a listening Unix stream socket (see UnixSocketListener).
  // The provider must outlive the server.
  SocketServer(DeviceInterfaceProvider& provider, SocketServerInfo info, UniqueFd listener,
               SocketServerOptions options = {});
  ~SocketServer();

  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  // Stops accepting, closes every connection and every handle, and returns
  // when all of them are closed (a call in progress finishes first).
  void stop();

  // Accepts on `listener` from now on instead of the socket it was given
  // (closed); connections already made are not disturbed. For a daemon
  // whose socket file was removed and bound again.
  void replaceListener(UniqueFd listener);

  // What a Status request answers; `asking` marks the connection that asked.
  SocketServerStatus status(const void* asking = nullptr);

 private:
  struct Connection {
    UniqueFd fd;  // closed only after the thread is joined, so never reused early
    std::thread thread;
    bool finished = false;  // guarded by mutex_
    SocketClientInfo client;  // who connected; written before the thread starts
    std::chrono::steady_clock::time_point connectedAt;
    std::atomic<bool> handleOpen{false};
  };

  void acceptLoop();
  void serve(Connection& connection);
  void reapFinished();  // caller holds no lock
  void wake();          // the acceptor looks at stopping_ and newListener_

  DeviceInterfaceProvider& provider_;
  const SocketServerInfo info_;
  const SocketServerOptions options_;
  UniqueFd listener_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::mutex openMutex_;  // one provider open at a time
  SequenceGate gate_;     // one connection's register sequence at a time
  std::mutex mutex_;      // guards connections_, stopping_ and newListener_
  std::list<Connection> connections_;
  bool stopping_ = false;
  UniqueFd newListener_;  // handed to the acceptor by replaceListener()
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::thread acceptor_;
};

}  // namespace kqa::ioctl
