#include "app/device/efuse_accounting.h"

#include <vector>

#include "app/device/efuse.h"
#include "app/device/efuse_controller.h"

namespace kqa::device {

int EfuseFreeBlockCount(EfuseController& efuse) {
  const int start = efuse.device().efuseAreaStart;
  const int end = efuse.device().efuseAreaEnd;
  const int firstWord = start & ~1;
  const int lastWord = end & ~1;
  if (lastWord < firstWord) return 0;

  // Each map word is read once and serves both scans.
  std::vector<std::uint16_t> words;
  for (int w = firstWord; w <= lastWord; w += 2)
    words.push_back(efuse.ReadPhysicalWord(static_cast<std::uint16_t>(w)));
  if (efuse.failed()) return 0;
  const auto low = [&](int w) { return words[static_cast<std::size_t>(w - firstWord) / 2] & 0xFF; };
  const auto high = [&](int w) { return words[static_cast<std::size_t>(w - firstWord) / 2] >> 8; };

  int first = -1;
  for (int w = firstWord; w <= lastWord && first < 0; w += 2) {
    if (low(w) == 0 && w != start - 1)
      first = w;
    else if (high(w) == 0 && w != end)
      first = w + 1;
  }
  if (first < 0) return 0;

  int last = -1;
  for (int w = lastWord; w >= firstWord && last < 0; w -= 2) {
    if (high(w) == 0 && w != end)
      last = w + 1;
    else if (low(w) == 0 && w != start - 1)
      last = w;
  }
  return last >= first ? last - first + 1 : 0;
}

int EfuseFreeBlockCount(DeviceContext& device) {
  EfuseController efuse(device);
  return EfuseFreeBlockCount(efuse);
}

int EfuseSingleWriteForecast(DeviceContext& device, std::uint16_t offset, std::uint16_t value,
                             EfuseWriteForm form) {
  EfuseController efuse(device);
  const int count = EfuseFreeBlockCount(efuse);
  if (count == 0) return 0;
  std::uint16_t word = 0;
  const std::uint8_t status = efuse.ReadLogicalWord(static_cast<std::uint16_t>(offset & ~1u), word);
  if (status == kEfuseUnmapped || efuse.failed()) return count - 1;

  std::uint16_t old = word;
  std::uint16_t wanted = value;
  if (offset & 1) {
    old = static_cast<std::uint16_t>(word >> 8);
    wanted = value & 0xFF;
  } else if (form == EfuseWriteForm::Byte) {
    old = word & 0xFF;
    wanted = value & 0xFF;
  }
  return (old & wanted) == old ? count : count - 1;
}

int EfuseImageForecast(DeviceContext& device, std::span<const std::uint8_t, 512> current,
                       std::span<const std::uint8_t, 512> target) {
  EfuseController efuse(device);
  int forecast = EfuseFreeBlockCount(efuse);
  for (std::size_t block = 0; block < 32; ++block) {
    std::uint16_t word = 0;
    const std::uint8_t status = efuse.ReadLogicalWord(static_cast<std::uint16_t>(block * 16), word);
    bool costs = false;
    for (std::size_t i = block * 16; i < block * 16 + 16; ++i) {
      if (status != kEfuseUnmapped)
        costs = costs || (current[i] & ~target[i]) != 0;
      else
        costs = costs || target[i] != 0xFF;
    }
    if (costs) --forecast;
  }
  return forecast;
}

}  // namespace kqa::device
