#pragma once

#include <string>
#include <string_view>

namespace kqa::shell {

// Only one kestrelqa may drive the bench at a time. The lock is an flock'd
// file named after the instance name, held for the life of this object; the
// system drops it when the process ends, however it ends.
class SingleInstanceLock {
 public:
  static constexpr std::string_view kInstanceName = "BENCHTOP_APP_FOR_USB_KESTREL_DEVICE";

  enum class Result {
    Acquired,        // this process is the one instance
    AlreadyRunning,  // another process holds the lock
    Unavailable,     // the lock file could not be opened (see error())
  };

  SingleInstanceLock() = default;
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
  ~SingleInstanceLock() { release(); }

  // Takes the lock in `folder` (DefaultFolder() in the program).
  Result acquire(const std::string& folder);
  void release();

  bool held() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

  // $XDG_RUNTIME_DIR when set, else /tmp.
  static std::string DefaultFolder();

 private:
  int fd_ = -1;
  std::string path_;
  std::string error_;
};

}  // namespace kqa::shell
