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

bool LoadEepromImageFile(ConfigMemoryMode& mode, const std::string& path, std::string* problem) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error))
    return Refuse(problem, "the EEPROM image file " + path + " is a folder");
  std::ifstream file(path, std::ios::binary);
  if (!file) return Refuse(problem, SystemError("cannot open the EEPROM image file", path));
  // One byte past the limit is enough to know the file is too long.
  std::vector<std::uint8_t> bytes(kImageFileMaximum + 1);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (file.bad()) return Refuse(problem, SystemError("cannot read the EEPROM image file", path));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
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

bool SaveEepromImageFile(const ConfigMemoryMode& mode, const std::string& path, std::string* problem) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Refuse(problem, SystemError("cannot write", temporary));
  const bool written = WriteAll(fd, mode.eepromImage.data(), mode.eepromImageSize) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  if (::close(fd) != 0 || !written) {
    errno = written ? errno : savedErrno;
    const std::string reason = SystemError("cannot write", temporary);
    ::unlink(temporary.c_str());
    return Refuse(problem, reason);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = SystemError("cannot replace", path);
    ::unlink(temporary.c_str());
    return Refuse(problem, reason);
  }
  // The rename itself lasts once the folder is on disk.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

}  // namespace kqa::device
