#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/config_memory_mode.h"

namespace kqa::device {

// The buffer back end's file ("eeprom.bin"): the image is exactly what the
// file holds, never padded and never cut. A file holds at least the 512
// bytes of configuration the pages read and at most the 1024 of the image.
inline constexpr std::size_t kImageFileMinimum = 512;
inline constexpr std::size_t kImageFileMaximum = kEepromImageSize;

// Why the file at `path` cannot be read as an image, or nullopt when it
// can be tried: an existing folder, device, pipe or socket is refused before
// it is opened (a device would give endless bytes, a pipe would wait).
// `what` names the file: "the EEPROM image file /dev/zero is a device, not a
// regular file".
std::optional<std::string> NotARegularFile(const std::string& path, std::string_view what = "the file");

// Why a save may not replace `path`, or nullopt when it may. Links are
// followed to the file they lead to; that file, when it exists, must be a
// regular file this user may write ("cannot save to /dev/full: it is a
// device, not a regular file"). Callers check before they read the chip, so
// that a refused save costs nothing.
std::optional<std::string> NotReplaceable(const std::string& path);

// A file written whole or not at all. `path` is followed through its links
// to the file it names (the link stays a link); the bytes go to
// "<file>.tmp" in that file's folder, and commit() syncs it and renames it
// over the file, which keeps its permission bits. open() refuses what
// NotReplaceable refuses. Destroyed without commit() (a read that failed
// half-way, a full disk), it removes the temporary file, so `path` keeps
// what it held. Each call returns false with the reason in `problem` (e.g.
// "cannot write x.bin.tmp: No space left on device").
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string path) : path_(std::move(path)) {}
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  bool open(std::string* problem);
  bool write(std::span<const std::uint8_t> bytes, std::string* problem);
  bool commit(std::string* problem);

 private:
  std::string path_;
  std::string target_;  // path_ with its links followed
  std::string temporary_;
  int fd_ = -1;
};

// Writes `bytes` as the whole of the file at `path` through a ReplacingFile.
bool WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, std::string* problem);

// Reads at most `limit` bytes from the start of the file at `path` into
// `bytes` (fewer when the file is shorter). False with the reason in
// `problem` when it is not a regular file (NotARegularFile) or cannot be
// opened or read; `what` names
// the file there ("cannot open the EEPROM image file x.bin: ...").
bool ReadFileStart(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes,
                   std::string* problem, std::string_view what = "the file");

// Reads the whole file into the start of eepromImage, sets eepromImageSize
// to its size and eepromFileLoaded. False, with the mode untouched and
// the reason in `problem` (e.g. "the EEPROM image file x.bin holds 10
// bytes; an image holds 512 to 1024 bytes"), when the file cannot be read
// or has another size.
bool LoadEepromImageFile(ConfigMemoryMode& mode, const std::string& path,
                         std::string* problem = nullptr);

// Writes the image (eepromImageSize bytes) back to `path` through a
// ReplacingFile, so the file holds the old image or the new one, never a
// mixture. False with the reason in
// `problem` when it cannot.
bool SaveEepromImageFile(const ConfigMemoryMode& mode, const std::string& path,
                         std::string* problem = nullptr);

}  // namespace kqa::device
