#include "app/device/image_file.h"

#include <fcntl.h>
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

}  // namespace

ReplacingFile::~ReplacingFile() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(temporary_.c_str());
}

bool ReplacingFile::open(std::string* problem) {
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return Refuse(problem, SystemError("cannot write", temporary_));
  return true;
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes, std::string* problem) {
  if (fd_ < 0) return Refuse(problem, "cannot write " + temporary_ + ": it is not open");
  if (!WriteAll(fd_, bytes.data(), bytes.size()))
    return Refuse(problem, SystemError("cannot write", temporary_));
  return true;
}

bool ReplacingFile::commit(std::string* problem) {
  if (fd_ < 0) return Refuse(problem, "cannot write " + temporary_ + ": it is not open");
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
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const std::string reason = SystemError("cannot replace", path_);
    ::unlink(temporary_.c_str());
    return Refuse(problem, reason);
  }
  // The rename itself lasts once the folder is on disk.
  const std::string folder = std::filesystem::path(path_).parent_path().string();
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
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return Refuse(problem, named + " is a folder");
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
