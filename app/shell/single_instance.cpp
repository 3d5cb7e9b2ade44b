#include "app/shell/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kqa::shell {

SingleInstanceLock::Result SingleInstanceLock::acquire(const std::string& folder) {
  release();
  path_ = folder + "/" + std::string(kInstanceName) + ".lock";
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return Result::Unavailable;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int reason = errno;
    ::close(fd);
    if (reason == EWOULDBLOCK) return Result::AlreadyRunning;
    error_ = std::strerror(reason);
    return Result::Unavailable;
  }
  fd_ = fd;
  return Result::Acquired;
}

void SingleInstanceLock::release() {
  // The file stays: removing it could let a third instance lock a new file
  // while a second one still waits on the old.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string SingleInstanceLock::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return runtime;
  return "/tmp";
}

}  // namespace kqa::shell
