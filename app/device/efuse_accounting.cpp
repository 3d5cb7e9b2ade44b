#include "app/device/efuse_accounting.h"

#include <optional>

#include "app/device/efuse.h"
#include "app/device/efuse_controller.h"
#include "app/device/efuse_map.h"

namespace kqa::device {

int EfuseFreeBlockCount(EfuseController& efuse) {
  const std::optional<EfuseMap> map = EfuseMap::Read(efuse);
  return map ? map->freeCount() : 0;
}

int EfuseFreeBlockCount(ConfigMemory memory) {
  EfuseController efuse(memory);
  return EfuseFreeBlockCount(efuse);
}

int EfuseSingleWriteForecast(ConfigMemory memory, std::uint16_t offset, std::uint16_t value,
                             EfuseWriteForm form) {
  EfuseController efuse(memory);
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

int EfuseImageForecast(ConfigMemory memory, std::span<const std::uint8_t, 512> current,
                       std::span<const std::uint8_t, 512> target) {
  EfuseController efuse(memory);
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
