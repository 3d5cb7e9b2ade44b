#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/ioctl/socket/socket_io.h"

namespace kqa::ioctl {

struct ListenOptions {
  mode_t mode = 0660;           // the socket file's permissions
  std::optional<gid_t> group{};  // its group; the process's own when unset
};

// A claimed socket path: the listening socket and the lock that makes the
// claim exclusive. Claim() takes the lock file PATH.lock (flock, released by
// the system when the process dies, however it dies), then
// - refuses when another process still serves PATH (the lock is held, or a
//   connection to PATH succeeds), with a message that says so;
// - refuses to touch a PATH that is not a socket;
// - otherwise removes a stale socket left by a process that died, binds,
//   sets the mode and group before anyone can connect, and listens.
// The destructor removes the socket file and releases the lock; the lock
// file itself stays, because removing it would let two claimants race.
class UnixSocketListener {
 public:
  static std::unique_ptr<UnixSocketListener> Claim(const std::string& path,
                                                   const ListenOptions& options,
                                                   std::string& error);
  ~UnixSocketListener();

  UnixSocketListener(const UnixSocketListener&) = delete;
  UnixSocketListener& operator=(const UnixSocketListener&) = delete;

  const std::string& path() const { return path_; }
  // The listening socket, for SocketServer; can be taken once.
  UniqueFd takeSocket() { return std::move(socket_); }

 private:
  UnixSocketListener(std::string path, UniqueFd lock, UniqueFd socket);

  std::string path_;
  UniqueFd lock_;
  UniqueFd socket_;
};

}  // namespace kqa::ioctl
