#pragma once

#include <cstdint>
#include <span>

#include "app/device/config_memory_mode.h"

namespace kqa::device {

class EfuseController;

// Every eFuse write burns blocks for good, so each write is guarded by a
// count of the free physical blocks and a forecast of what is left after
// it. Reads only; UI thread only (see efuse.h).

// Free blocks: the span from the first to the last free (0x00) map byte
// between efuseAreaStart and efuseAreaEnd; 0 to efuseAreaSize. A failed
// register access counts as no free block, which refuses rather than burns.
int EfuseFreeBlockCount(ConfigMemory memory);
int EfuseFreeBlockCount(EfuseController& efuse);  // a controller built on the mode

enum class EfuseWriteForm { Byte, Word };

// Free blocks after writing `value` at `offset`: the count when the word is
// mapped and the value only adds 1-bits to it, else one less (never below 0).
int EfuseSingleWriteForecast(ConfigMemory memory, std::uint16_t offset, std::uint16_t value,
                             EfuseWriteForm form);

// Free blocks after writing the 512-byte `target` image over `current`: a
// mapped block costs one when it would clear a bit, an unmapped block when
// any target word is not 0xFFFF. Negative when the eFuse cannot hold it.
int EfuseImageForecast(ConfigMemory memory, std::span<const std::uint8_t, 512> current,
                       std::span<const std::uint8_t, 512> target);

}  // namespace kqa::device
