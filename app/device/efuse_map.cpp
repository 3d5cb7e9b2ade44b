#include "app/device/efuse_map.h"

#include "app/device/efuse_controller.h"

namespace kqa::device {

std::optional<EfuseMap> EfuseMap::Read(EfuseController& efuse) {
  const int start = efuse.mapStart();
  const int end = efuse.mapEnd();
  std::vector<std::uint8_t> bytes;
  for (int w = start & ~1; w <= (end & ~1); w += 2) {
    const std::uint16_t word = efuse.ReadPhysicalWord(static_cast<std::uint16_t>(w));
    bytes.push_back(static_cast<std::uint8_t>(word));
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
  }
  if (efuse.failed()) return std::nullopt;
  return EfuseMap(static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(end), std::move(bytes));
}

EfuseMap::EfuseMap(std::uint16_t start, std::uint16_t end, std::vector<std::uint8_t> bytes)
    : start_(start), end_(end), base_(start & ~1), bytes_(std::move(bytes)) {
  const std::size_t needed =
      end_ >= base_ ? static_cast<std::size_t>((end_ & ~1) - base_ + 2) : std::size_t{0};
  bytes_.resize(needed, 0xFF);
}

int EfuseMap::freeCount() const {
  const int firstWord = base_;
  const int lastWord = end_ & ~1;
  int first = -1;
  for (int w = firstWord; w <= lastWord && first < 0; w += 2) {
    if (at(w) == 0 && w != start_ - 1)
      first = w;
    else if (at(w + 1) == 0 && w != end_)
      first = w + 1;
  }
  if (first < 0) return 0;
  int last = -1;
  for (int w = lastWord; w >= firstWord && last < 0; w -= 2) {
    if (at(w + 1) == 0 && w != end_)
      last = w + 1;
    else if (at(w) == 0 && w != start_ - 1)
      last = w;
  }
  return last >= first ? last - first + 1 : 0;
}

std::optional<std::uint8_t> EfuseMap::nextFree() const {
  for (int a = end_ & ~1; a >= base_; a -= 2) {
    if (at(a + 1) == 0 && a != end_) return static_cast<std::uint8_t>(a + 1 - start_);
    if (at(a) == 0 && a != start_ - 1) return static_cast<std::uint8_t>(a - start_);
  }
  return std::nullopt;
}

std::uint8_t EfuseMap::byteOf(std::uint8_t block) const { return at(start_ + block); }

void EfuseMap::setByte(std::uint8_t block, std::uint8_t value) {
  bytes_[static_cast<std::size_t>(start_ + block - base_)] = value;
}

}  // namespace kqa::device
