#include "app/device/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/device/text_format.h"

namespace kqa::device {
namespace {

bool Refuse(std::string* problem, std::string text) {
  if (problem) *problem = std::move(text);
  return false;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Writes all of `bytes` to `fd`.
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

// What a file that is not a regular file is, for the messages.
std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a regular file";
  if (S_ISFIFO(mode)) return "a pipe, not a regular file";
  if (S_ISSOCK(mode)) return "a socket, not a regular file";
  return "not a regular file";
}

// `path` with its links followed, also when the last one leads nowhere yet
// (a save then creates the file it names). Empty with the reason in
// `problem` when a link cannot be read or the links go round.
std::string FollowLinks(const std::string& path, std::string* problem) {
  namespace fs = std::filesystem;
  fs::path at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status{};
    if (::lstat(at.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return at.string();
    std::error_code error;
    const fs::path next = fs::read_symlink(at, error);
    if (error) {
      Refuse(problem, "cannot follow the link " + at.string() + ": " + error.message());
      return {};
    }
    at = next.is_absolute() ? next : at.parent_path() / next;
  }
  Refuse(problem, "cannot save to " + path + ": its links go round in a circle");
  return {};
}

// The checks of NotReplaceable; `target` is the file a save replaces and
// `existing` its status, when it exists.
std::optional<std::string> InspectTarget(const std::string& path, std::string& target,
                                         std::optional<struct stat>& existing) {
  std::string problem;
  target = FollowLinks(path, &problem);
  if (target.empty()) return problem;
  const std::string named = "cannot save to " + path + (target == path ? "" : " (a link to " + target + ")");
  struct stat status{};
  if (::stat(target.c_str(), &status) != 0) {
    if (errno == ENOENT) return std::nullopt;  // a new file
    return named + ": " + std::strerror(errno);
  }
  if (!S_ISREG(status.st_mode)) return named + ": it is " + KindOf(status.st_mode);
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return named + ": " + std::strerror(errno);
  existing = status;
  return std::nullopt;
}

}  // namespace

ReplacingFile::~ReplacingFile() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(temporary_.c_str());
}

std::optional<std::string> NotARegularFile(const std::string& path, std::string_view what) {
  struct stat status{};
  if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return std::nullopt;
  return std::string(what) + " " + path + " is " + KindOf(status.st_mode);
}

std::optional<std::string> NotReplaceable(const std::string& path) {
  std::string target;
  std::optional<struct stat> existing;
  return InspectTarget(path, target, existing);
}

bool ReplacingFile::open(std::string* problem) {
  std::optional<struct stat> existing;
  if (auto refused = InspectTarget(path_, target_, existing)) return Refuse(problem, std::move(*refused));
  temporary_ = target_ + ".tmp";
  // O_NOFOLLOW: a link left at the temporary name is not written through.
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) return Refuse(problem, SystemError("cannot write", temporary_));
  // The replaced file keeps who may read and write it.
  if (existing && ::fchmod(fd_, existing->st_mode & 07777) != 0) {
    const std::string reason = SystemError("cannot write", temporary_);
    ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_.c_str());
    return Refuse(problem, reason);
  }
  return true;
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes, std::string* problem) {
  if (fd_ < 0) return Refuse(problem, "cannot write " + path_ + ": it is not open");
  if (!WriteAll(fd_, bytes.data(), bytes.size()))
    return Refuse(problem, SystemError("cannot write", temporary_));
  return true;
}

bool ReplacingFile::commit(std::string* problem) {
  if (fd_ < 0) return Refuse(problem, "cannot write " + path_ + ": it is not open");
  const bool synced = ::fsync(fd_) == 0;
  const int savedErrno = errno;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed) {
    errno = synced ? errno : savedErrno;
    const std::string reason = SystemError("cannot write", temporary_);
    ::unlink(temporary_.c_str());
    return Refuse(problem, reason);
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const std::string reason = SystemError("cannot replace", target_);
    ::unlink(temporary_.c_str());
    return Refuse(problem, reason);
  }
  // The rename itself lasts once the folder is on disk.
  const std::string folder = std::filesystem::path(target_).parent_path().string();
  const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

bool ReadFileStart(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes,
                   std::string* problem, std::string_view what) {
  const std::string named = std::string(what) + " " + path;
  if (auto refused = NotARegularFile(path, what)) return Refuse(problem, std::move(*refused));
  std::ifstream file(path, std::ios::binary);
  if (!file) return Refuse(problem, SystemError("cannot open", named));
  bytes.resize(limit);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (file.bad()) return Refuse(problem, SystemError("cannot read", named));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return true;
}

bool LoadEepromImageFile(ConfigMemoryMode& mode, const std::string& path, std::string* problem) {
  // One byte past the limit is enough to know the file is too long.
  std::vector<std::uint8_t> bytes;
  if (!ReadFileStart(path, kImageFileMaximum + 1, bytes, problem, "the EEPROM image file"))
    return false;
  if (bytes.size() < kImageFileMinimum || bytes.size() > kImageFileMaximum) {
    const std::string size = bytes.size() > kImageFileMaximum
                                 ? Format("more than %zu bytes", kImageFileMaximum)
                                 : Format("%zu byte%s", bytes.size(), bytes.size() == 1 ? "" : "s");
    return Refuse(problem, Format("the EEPROM image file %s holds %s; an image holds %zu to %zu bytes",
                                  path.c_str(), size.c_str(), kImageFileMinimum, kImageFileMaximum));
  }
  std::copy(bytes.begin(), bytes.end(), mode.eepromImage.begin());
  mode.eepromImageSize = bytes.size();
  mode.eepromFileLoaded = true;
  return true;
}

bool WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, std::string* problem) {
  ReplacingFile file(path);
  return file.open(problem) && file.write(bytes, problem) && file.commit(problem);
}

bool SaveEepromImageFile(const ConfigMemoryMode& mode, const std::string& path, std::string* problem) {
  return WriteFileWhole(path, std::span(mode.eepromImage.data(), mode.eepromImageSize), problem);
}

}  // namespace kqa::device
