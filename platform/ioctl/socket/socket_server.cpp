#include "platform/ioctl/socket/socket_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/ioctl/socket/peer_identity.h"
#include "platform/ioctl/socket/server_session.h"

namespace kqa::ioctl {
namespace {

// How long the acceptor rests when the process is out of descriptors, rather
// than spinning on a listener that stays readable.
constexpr int kOutOfDescriptorsPauseMs = 100;

// poll() says when to accept; a connection that vanished in between must not
// block the acceptor.
void MakeNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::uint32_t SecondsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

SocketServer::SocketServer(DeviceInterfaceProvider& provider, SocketServerInfo info,
                           UniqueFd listener, SocketServerOptions options)
    : provider_(provider),
      info_(std::move(info)),
      options_(std::move(options)),
      listener_(std::move(listener)) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  wakeRead_.reset(pipeFds[0]);
  wakeWrite_.reset(pipeFds[1]);
  MakeNonBlocking(listener_.get());
  acceptor_ = std::thread([this] { acceptLoop(); });
}

SocketServer::~SocketServer() { stop(); }

void SocketServer::wake() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeWrite_.get(), &byte, 1);
}

void SocketServer::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  wake();
  acceptor_.join();
  listener_.reset();
  newListener_.reset();
  // Connections are only added by the acceptor, which has ended.
  for (Connection& connection : connections_) ::shutdown(connection.fd.get(), SHUT_RDWR);
  for (Connection& connection : connections_) connection.thread.join();
  connections_.clear();
}

void SocketServer::replaceListener(UniqueFd listener) {
  MakeNonBlocking(listener.get());
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    newListener_ = std::move(listener);
  }
  wake();
}

void SocketServer::acceptLoop() {
  for (;;) {
    pollfd entries[2] = {{wakeRead_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
    if (::poll(entries, 2, -1) < 0) continue;  // EINTR
    if (entries[0].revents != 0) {
      char drained[16];
      while (::read(wakeRead_.get(), drained, sizeof drained) > 0) {
      }
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      if (newListener_.valid()) listener_ = std::move(newListener_);
      continue;
    }
    if (entries[1].revents == 0) continue;
    UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.valid()) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        ::poll(entries, 1, kOutOfDescriptorsPauseMs);  // wakes early on stop()
      continue;
    }
    reapFinished();
    SocketClientInfo client = IdentifyPeer(fd.get());
    std::lock_guard lock(mutex_);
    if (connections_.size() >= options_.maxClients) continue;  // closes the new one
    Connection& connection = connections_.emplace_back();
    connection.fd = std::move(fd);
    connection.client = std::move(client);
    connection.connectedAt = std::chrono::steady_clock::now();
    try {
      connection.thread = std::thread([this, &connection] { serve(connection); });
    } catch (const std::system_error&) {
      connections_.pop_back();  // no thread to be had: refuse this client
    }
  }
}

void SocketServer::serve(Connection& connection) {
  ServeConnection(connection.fd.get(),
                  SessionContext{provider_, openMutex_, info_, options_.frameTimeout,
                                 [this, &connection] { return status(&connection); },
                                 connection.handleOpen, gate_});
  // The slot is free before the client can see the end of the stream, and
  // the descriptor is still open (reaping needs the lock) when shut down.
  std::lock_guard lock(mutex_);
  connection.finished = true;
  ::shutdown(connection.fd.get(), SHUT_RDWR);
}

SocketServerStatus SocketServer::status(const void* asking) {
  SocketServerStatus status;
  status.description = info_.description;
  status.emulated = info_.emulated;
  status.uptimeSeconds = SecondsSince(started_);
  // Asked before taking the lock: the owner may take locks of its own.
  if (options_.deviceState) status.deviceState = options_.deviceState();
  std::lock_guard lock(mutex_);
  for (const Connection& connection : connections_) {
    if (connection.finished) continue;
    SocketClientInfo client = connection.client;
    client.connectedSeconds = SecondsSince(connection.connectedAt);
    client.handleOpen = connection.handleOpen.load();
    client.asking = &connection == asking;
    status.clients.push_back(std::move(client));
  }
  return status;
}

void SocketServer::reapFinished() {
  std::list<Connection> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->finished) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (Connection& connection : finished) connection.thread.join();
}

}  // namespace kqa::ioctl
