#include "chip/state_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "chip/eeprom.h"
#include "chip/nor_flash.h"
#include "platform/bytes/little_endian.h"

namespace kqa::chip {

namespace {

constexpr char kMagic[8] = {'K', 'Q', 'A', 'C', 'H', 'I', 'P', '\n'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kTrailerSize = 4;

constexpr std::uint32_t Tag(const char (&name)[5]) {
  return static_cast<std::uint32_t>(name[0]) | static_cast<std::uint32_t>(name[1]) << 8 |
         static_cast<std::uint32_t>(name[2]) << 16 | static_cast<std::uint32_t>(name[3]) << 24;
}
constexpr std::uint32_t kBoardTag = Tag("BORD");
constexpr std::uint32_t kEepromTag = Tag("EEPR");
constexpr std::uint32_t kEfuseTag = Tag("EFUS");
constexpr std::uint32_t kFlashTag = Tag("FLSH");

void Append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void AppendSection(std::vector<std::uint8_t>& out, std::uint32_t tag, const std::vector<std::uint8_t>& payload) {
  Append32(out, tag);
  Append32(out, static_cast<std::uint32_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<std::uint8_t> EncodeFlash(const std::vector<std::uint8_t>& flash) {
  std::vector<std::uint8_t> payload;
  Append32(payload, NorFlash::kSectorSize);
  Append32(payload, NorFlash::kSectors);
  std::vector<std::uint32_t> used;
  for (std::uint32_t sector = 0; sector < NorFlash::kSectors; ++sector) {
    const auto first = flash.begin() + static_cast<std::ptrdiff_t>(sector * NorFlash::kSectorSize);
    if (!std::all_of(first, first + NorFlash::kSectorSize, [](std::uint8_t b) { return b == 0xFF; }))
      used.push_back(sector);
  }
  Append32(payload, static_cast<std::uint32_t>(used.size()));
  for (std::uint32_t sector : used) {
    Append32(payload, sector);
    const auto first = flash.begin() + static_cast<std::ptrdiff_t>(sector * NorFlash::kSectorSize);
    payload.insert(payload.end(), first, first + NorFlash::kSectorSize);
  }
  return payload;
}

[[noreturn]] void Refuse(const std::string& why) { throw ChipStateError("chip state: " + why); }

// Reads a little-endian stream with bounds checks.
class Reader {
 public:
  Reader(const std::vector<std::uint8_t>& bytes, std::size_t end) : bytes_(bytes), end_(end) {}
  std::uint32_t u32(const char* what) {
    need(4, what);
    const std::uint32_t value = GetLe32(bytes_, at_);
    at_ += 4;
    return value;
  }
  std::span<const std::uint8_t> take(std::size_t n, const char* what) {
    need(n, what);
    auto part = std::span<const std::uint8_t>(bytes_).subspan(at_, n);
    at_ += n;
    return part;
  }
  std::size_t position() const { return at_; }
  bool done() const { return at_ == end_; }

 private:
  void need(std::size_t n, const char* what) {
    if (end_ - at_ < n) Refuse(std::string("truncated in ") + what);
  }
  const std::vector<std::uint8_t>& bytes_;
  std::size_t end_;
  std::size_t at_ = 0;
};

std::vector<std::uint8_t> DecodeFlash(std::span<const std::uint8_t> payload) {
  const std::vector<std::uint8_t> bytes(payload.begin(), payload.end());
  Reader in(bytes, bytes.size());
  if (in.u32("flash section") != NorFlash::kSectorSize || in.u32("flash section") != NorFlash::kSectors)
    Refuse("flash geometry is not 64 sectors of 64 KB");
  std::vector<std::uint8_t> flash(NorFlash::kSize, 0xFF);
  const std::uint32_t count = in.u32("flash section");
  std::set<std::uint32_t> seen;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t sector = in.u32("flash section");
    if (sector >= NorFlash::kSectors || !seen.insert(sector).second) Refuse("bad flash sector number");
    auto data = in.take(NorFlash::kSectorSize, "flash section");
    std::copy(data.begin(), data.end(), flash.begin() + static_cast<std::ptrdiff_t>(sector * NorFlash::kSectorSize));
  }
  if (!in.done()) Refuse("flash section has trailing bytes");
  return flash;
}

std::string Errno(const std::string& what, const std::filesystem::path& path) {
  return "chip state file " + path.string() + ": " + what + ": " + std::strerror(errno);
}

void WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::filesystem::path& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ChipStateError(Errno("cannot write", path));
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::vector<std::uint8_t> EncodeNvmState(const NvmState& state) {
  std::vector<std::uint8_t> out(std::begin(kMagic), std::end(kMagic));
  Append32(out, kVersion);
  Append32(out, 4);
  std::vector<std::uint8_t> board;
  Append32(board, state.board == Board::Efuse ? 1 : 0);
  AppendSection(out, kBoardTag, board);
  AppendSection(out, kEepromTag, state.eeprom);
  AppendSection(out, kEfuseTag, std::vector<std::uint8_t>(state.efuse.begin(), state.efuse.end()));
  AppendSection(out, kFlashTag, EncodeFlash(state.flash));
  Append32(out, Crc32(out.data(), out.size()));
  return out;
}

NvmState DecodeNvmState(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < kHeaderSize + kTrailerSize) Refuse("file too short (" + std::to_string(bytes.size()) + " bytes)");
  if (!std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin())) Refuse("not a chip state file (bad magic)");
  const std::size_t end = bytes.size() - kTrailerSize;
  if (Crc32(bytes.data(), end) != GetLe32(bytes, end)) Refuse("checksum mismatch (truncated or corrupted file)");

  Reader in(bytes, end);
  in.take(sizeof kMagic, "header");
  if (const std::uint32_t version = in.u32("header"); version != kVersion)
    Refuse("unsupported format version " + std::to_string(version));
  const std::uint32_t sections = in.u32("header");

  NvmState state;
  std::set<std::uint32_t> seen;
  for (std::uint32_t i = 0; i < sections; ++i) {
    const std::uint32_t tag = in.u32("section header");
    const std::uint32_t length = in.u32("section header");
    auto payload = in.take(length, "section payload");
    if (!seen.insert(tag).second) Refuse("repeated section");
    if (tag == kBoardTag) {
      if (length != 4) Refuse("board section has the wrong length");
      const std::uint32_t board = GetLe32(payload, 0);
      if (board > 1) Refuse("unknown board " + std::to_string(board));
      state.board = board == 1 ? Board::Efuse : Board::Eeprom;
    } else if (tag == kEepromTag) {
      if (length != Eeprom::kSize) Refuse("EEPROM section is not 8192 bytes");
      state.eeprom.assign(payload.begin(), payload.end());
    } else if (tag == kEfuseTag) {
      if (length != Efuse::kSize) Refuse("eFuse section is not 512 bytes");
      std::copy(payload.begin(), payload.end(), state.efuse.begin());
    } else if (tag == kFlashTag) {
      state.flash = DecodeFlash(payload);
    } else {
      Refuse("unknown section");
    }
  }
  if (!in.done()) Refuse("trailing bytes after the sections");
  for (std::uint32_t tag : {kBoardTag, kEepromTag, kEfuseTag, kFlashTag})
    if (seen.count(tag) == 0) Refuse("a section is missing");
  return state;
}

void SaveNvmState(const std::filesystem::path& path, const NvmState& state) {
  ReplaceFileAtomically(path, EncodeNvmState(state));
}

void ReplaceFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const std::filesystem::path temporary = path.string() + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw ChipStateError(Errno("cannot create", temporary));
  try {
    WriteAll(fd, bytes, temporary);
    if (::fsync(fd) != 0) throw ChipStateError(Errno("cannot sync", temporary));
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) throw ChipStateError(Errno("cannot close", temporary));
  if (::rename(temporary.c_str(), path.c_str()) != 0) throw ChipStateError(Errno("cannot rename over", path));
  // Make the rename itself durable.
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

NvmState LoadNvmState(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw ChipStateError("chip state file " + path.string() + ": cannot open: " + std::strerror(errno));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw ChipStateError("chip state file " + path.string() + ": read error");
  try {
    return DecodeNvmState(bytes);
  } catch (const ChipStateError& error) {
    throw ChipStateError(path.string() + ": " + error.what());
  }
}

}  // namespace kqa::chip
