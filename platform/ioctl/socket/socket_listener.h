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
// The destructor removes the socket file (when it is still this claim's)
// and releases the lock; the lock file itself stays, because removing it
// would let two claimants race.
class UnixSocketListener {
 public:
  static std::unique_ptr<UnixSocketListener> Claim(const std::string& path,
                                                   const ListenOptions& options,
                                                   std::string& error);
  ~UnixSocketListener();

  // The claim on disk can be damaged while the process runs: someone may
  // remove the socket file (new clients can then not connect; connected
  // ones are not disturbed), the lock file (a second claimant could then
  // take a lock of its own), both, or put other files in their place.
  // check() mends what can be mended, the lock first: a removed lock file
  // is created and locked again, a removed socket file is bound and
  // listened on again (with the same mode and group) and handed back in
  // `socket`, for SocketServer::replaceListener. A file that took the
  // place of either is left alone and the claim is Lost, as it is when
  // mending fails. `what` says what happened ("the socket PATH was
  // removed; created it again").
  enum class ClaimState { Intact, Repaired, Lost };
  ClaimState check(UniqueFd& socket, std::string& what);

  UnixSocketListener(const UnixSocketListener&) = delete;
  UnixSocketListener& operator=(const UnixSocketListener&) = delete;

  const std::string& path() const { return path_; }
  // The listening socket, for SocketServer; can be taken once.
  UniqueFd takeSocket() { return std::move(socket_); }

 private:
  UnixSocketListener(std::string path, ListenOptions options, UniqueFd lock, UniqueFd socket);
  bool ownsSocketFile() const;  // PATH is still the socket this claim bound
  void rememberSocketFile();
  bool mendLock(std::string& what);
  bool mendSocket(UniqueFd& socket, std::string& what);

  std::string path_;
  ListenOptions options_;
  UniqueFd lock_;
  UniqueFd socket_;
  dev_t socketDevice_ = 0;  // the socket file this claim bound
  ino_t socketInode_ = 0;
};

}  // namespace kqa::ioctl
