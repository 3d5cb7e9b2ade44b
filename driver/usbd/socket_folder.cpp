#include "driver/usbd/socket_folder.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kqa::usbd {
namespace {

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

}  // namespace

bool PrepareSocketFolder(const std::string& socketPath, std::optional<gid_t> group,
                         bool isDefaultPath, std::string& error) {
  const std::size_t slash = socketPath.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;  // the current or root folder
  const std::string folder = socketPath.substr(0, slash);

  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      error = ErrnoText("cannot inspect " + folder, errno);
      return false;
    }
    if (::mkdir(folder.c_str(), 0750) != 0 && errno != EEXIST) {
      error = ErrnoText("cannot create " + folder, errno);
      return false;
    }
    // mkdir's mode passes through the umask; set it exactly.
    if (::chmod(folder.c_str(), 0750) != 0 ||
        (group && ::chown(folder.c_str(), static_cast<uid_t>(-1), *group) != 0)) {
      error = ErrnoText("cannot set the owner or permissions of " + folder, errno);
      return false;
    }
    return true;
  }
  if (!isDefaultPath) return true;
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & S_IWOTH) != 0) {
    error = folder + " is not a private folder of this user; not using it";
    return false;
  }
  return true;
}

std::optional<gid_t> GroupId(const std::string& name) {
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  while (::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE)
    buffer.resize(buffer.size() * 2);
  if (found == nullptr) return std::nullopt;
  return found->gr_gid;
}

}  // namespace kqa::usbd
