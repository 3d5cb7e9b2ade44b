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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
      new UnixSocketListener(path, options, std::move(lock), std::move(socket)));
}

UnixSocketListener::UnixSocketListener(std::string path, ListenOptions options, UniqueFd lock,
                                       UniqueFd socket)
    : path_(std::move(path)), options_(options), lock_(std::move(lock)), socket_(std::move(socket)) {
  rememberSocketFile();
}

UnixSocketListener::~UnixSocketListener() {
  // Only our own socket goes: a file someone put in its place stays.
  if (ownsSocketFile()) ::unlink(path_.c_str());
}

void UnixSocketListener::rememberSocketFile() {
  struct stat info {};
  if (::lstat(path_.c_str(), &info) != 0) return;
  socketDevice_ = info.st_dev;
  socketInode_ = info.st_ino;
}

bool UnixSocketListener::ownsSocketFile() const {
  struct stat info {};
  return ::lstat(path_.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_dev == socketDevice_ &&
         info.st_ino == socketInode_;
}

bool UnixSocketListener::mendLock(std::string& what) {
  const std::string lockPath = path_ + ".lock";
  struct stat held {};
  struct stat onDisk {};
  const bool present = ::lstat(lockPath.c_str(), &onDisk) == 0;
  const int absent = present ? 0 : errno;
  if (present && ::fstat(lock_.get(), &held) == 0 && SameFile(held, onDisk)) return true;
  if (absent != ENOENT) {
    what = "the lock file " + lockPath + " was replaced by another file";
    return false;
  }
  std::string error;
  UniqueFd lock = TakeLock(path_, error);
  if (!lock.valid()) {
    what = "the lock file " + lockPath + " was removed and cannot be taken again (" + error + ")";
    return false;
  }
  lock_ = std::move(lock);
  what = "the lock file " + lockPath + " was removed; created it again";
  return true;
}

bool UnixSocketListener::mendSocket(UniqueFd& socket, std::string& what) {
  if (ownsSocketFile()) return true;
  const std::string also = what.empty() ? "" : what + "; ";
  struct stat onDisk {};
  if (::lstat(path_.c_str(), &onDisk) == 0 || errno != ENOENT) {
    what = also + path_ + " was replaced by another file";
    return false;
  }
  std::string error;
  socket = BindAndListen(path_, options_, error);
  if (!socket.valid()) {
    what = also + "the socket " + path_ + " was removed and cannot be created again (" + error + ")";
    return false;
  }
  rememberSocketFile();
  what = also + "the socket " + path_ + " was removed; created it again";
  return true;
}

UnixSocketListener::ClaimState UnixSocketListener::check(UniqueFd& socket, std::string& what) {
  what.clear();
  if (!mendLock(what) || !mendSocket(socket, what)) return ClaimState::Lost;
  return what.empty() ? ClaimState::Intact : ClaimState::Repaired;
}

}  // namespace kqa::ioctl
