#include "platform/ioctl/socket/socket_listener.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kqa::ioctl {
namespace {

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

std::string AlreadyServed(const std::string& path) {
  return "another kestrelqa-usbd is already serving " + path;
}

// Takes PATH.lock without waiting; an empty fd with `error` set otherwise.
UniqueFd TakeLock(const std::string& path, std::string& error) {
  const std::string lockPath = path + ".lock";
  UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock.valid()) {
    error = ErrnoText("cannot open " + lockPath, errno);
    return {};
  }
  while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    error = errno == EWOULDBLOCK ? AlreadyServed(path) : ErrnoText("cannot lock " + lockPath, errno);
    return {};
  }
  return lock;
}

// With the lock held, clears the way for bind(): a socket nobody answers on
// is stale and goes; anything else stays and the claim fails.
bool RemoveStaleSocket(const std::string& path, std::string& error) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;
    error = ErrnoText("cannot inspect " + path, errno);
    return false;
  }
  if (!S_ISSOCK(info.st_mode)) {
    error = path + " exists and is not a socket; not replacing it";
    return false;
  }
  const ConnectResult probe = ConnectUnixSocket(path);
  if (probe.fd.valid()) {
    error = AlreadyServed(path);
    return false;
  }
  if (probe.error != ECONNREFUSED) {
    error = ErrnoText("cannot probe " + path, probe.error);
    return false;
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    error = ErrnoText("cannot remove the stale socket " + path, errno);
    return false;
  }
  return true;
}

UniqueFd BindAndListen(const std::string& path, const ListenOptions& options,
                       std::string& error) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    error = ErrnoText("socket", errno);
    return {};
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = ErrnoText("cannot bind " + path, errno);
    return {};
  }
  // Until listen() nobody can connect, so the permissions are in place first.
  const bool owned = ::chmod(path.c_str(), options.mode) == 0 &&
                     (!options.group || ::chown(path.c_str(), static_cast<uid_t>(-1), *options.group) == 0);
  if (!owned) {
    error = ErrnoText("cannot set the owner or permissions of " + path, errno);
    ::unlink(path.c_str());
    return {};
  }
  if (::listen(fd.get(), SOMAXCONN) != 0) {
    error = ErrnoText("cannot listen on " + path, errno);
    ::unlink(path.c_str());
    return {};
  }
  return fd;
}

}  // namespace

std::unique_ptr<UnixSocketListener> UnixSocketListener::Claim(const std::string& path,
                                                              const ListenOptions& options,
                                                              std::string& error) {
  if (path.empty() || path.find('\0') != std::string::npos) {
    error = "invalid socket path";
    return nullptr;
  }
  if (path.size() > MaxUnixSocketPathLength()) {
    error = "socket path too long (at most " + std::to_string(MaxUnixSocketPathLength()) +
            " bytes): " + path;
    return nullptr;
  }
  UniqueFd lock = TakeLock(path, error);
  if (!lock.valid() || !RemoveStaleSocket(path, error)) return nullptr;
  UniqueFd socket = BindAndListen(path, options, error);
  if (!socket.valid()) return nullptr;
  return std::unique_ptr<UnixSocketListener>(
      new UnixSocketListener(path, std::move(lock), std::move(socket)));
}

UnixSocketListener::UnixSocketListener(std::string path, UniqueFd lock, UniqueFd socket)
    : path_(std::move(path)), lock_(std::move(lock)), socket_(std::move(socket)) {}

UnixSocketListener::~UnixSocketListener() {
  // Still holding the lock, so the file removed is ours.
  ::unlink(path_.c_str());
}

}  // namespace kqa::ioctl
