#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/ioctl/device_interface.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/socket_io.h"

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
};

// Serves a DeviceInterfaceProvider to any number of socket clients, one
// thread per connection. Each connection may open one handle; its control
// calls go to that handle. A connection that breaks the protocol (see
// platform/ioctl/README.md), stalls mid-frame or goes away is dropped, and
// its handle closed before the connection closes. Opens are passed to the
// provider one at a time; control calls on different handles may overlap,
// as they would in-process.
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

 private:
  struct Connection {
    UniqueFd fd;  // closed only after the thread is joined, so never reused early
    std::thread thread;
    bool finished = false;  // guarded by mutex_
  };

  void acceptLoop();
  void serve(Connection& connection);
  void reapFinished();  // caller holds no lock

  DeviceInterfaceProvider& provider_;
  const SocketServerInfo info_;
  const SocketServerOptions options_;
  UniqueFd listener_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::mutex openMutex_;  // one provider open at a time
  std::mutex mutex_;      // guards connections_ and stopping_
  std::list<Connection> connections_;
  bool stopping_ = false;
  std::thread acceptor_;
};

}  // namespace kqa::ioctl
