#include "app/device/efuse.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "app/device/efuse_accounting.h"
#include "app/device/efuse_controller.h"
#include "platform/bytes/little_endian.h"

namespace kqa::device {
namespace {

constexpr int kWriteAttempts = 5;
using BlockWords = std::array<std::uint16_t, 8>;

std::uint16_t BlockStart(std::uint8_t block) { return static_cast<std::uint16_t>(block * 16); }

BlockWords ReadBlockWords(EfuseController& efuse, std::uint8_t block) {
  BlockWords words{};
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = efuse.ReadPhysicalWord(static_cast<std::uint16_t>(BlockStart(block) + 2 * i));
  return words;
}

// Free map bytes are taken from the top of the map down, the higher byte of
// each word first; the result is the physical block of the byte found.
std::optional<std::uint8_t> FindFreeBlock(EfuseController& efuse) {
  const int start = efuse.device().efuseAreaStart;
  const int end = efuse.device().efuseAreaEnd;
  for (int a = end & ~1; a >= (start & ~1); a -= 2) {
    const std::uint16_t word = efuse.ReadPhysicalWord(static_cast<std::uint16_t>(a));
    if (efuse.failed()) return std::nullopt;
    if ((word >> 8) == 0 && a != end) return static_cast<std::uint8_t>(a + 1 - start);
    if ((word & 0xFF) == 0 && a != start - 1) return static_cast<std::uint8_t>(a - start);
  }
  return std::nullopt;
}

void WriteMapByte(EfuseController& efuse, std::uint8_t block, std::uint8_t logicalBlock) {
  const int address = efuse.device().efuseAreaStart + block;
  const std::uint8_t mapByte = EfuseMapByte(logicalBlock);
  if (address & 1)
    efuse.WritePhysicalWord(static_cast<std::uint16_t>(address - 1),
                            static_cast<std::uint16_t>(mapByte << 8));
  else
    efuse.WritePhysicalWord(static_cast<std::uint16_t>(address), mapByte);
}

// Burns one more bit of a map byte, which no longer matches its parity bits
// and so no longer maps anything.
void InvalidateMapByte(EfuseController& efuse, int address) {
  const auto wordAddress = static_cast<std::uint16_t>(address & ~1);
  std::uint16_t word = efuse.ReadPhysicalWord(wordAddress);
  const int firstBit = (address & 1) ? 8 : 0;
  const int lastBit = (address & 1) ? 14 : 7;
  for (int bit = firstBit; bit <= lastBit; ++bit) {
    if ((word & (1u << bit)) == 0) {
      word = static_cast<std::uint16_t>(word | (1u << bit));
      break;
    }
  }
  efuse.WritePhysicalWord(wordAddress, word);
}

// With no block left, the new data must be programmable over the old: it
// may add 1-bits but never clear one.
bool ProgrammableInPlace(EfuseController& efuse, std::uint8_t block, std::uint16_t x,
                         std::span<const std::uint8_t> data) {
  const std::size_t firstWord = data.size() == 16 ? 0 : (x & 15) / 2;
  for (std::size_t i = 0; i < data.size() / 2; ++i) {
    const auto address = static_cast<std::uint16_t>(BlockStart(block) + 2 * (firstWord + i));
    const std::uint16_t old = efuse.ReadPhysicalWord(address);
    const std::uint16_t wanted = GetLe16(data, 2 * i);
    if ((old | wanted) != wanted) return false;
  }
  return true;
}

}  // namespace

std::uint8_t EfuseMapByte(std::uint8_t logicalBlock) {
  const auto bit = [&](int n) { return (logicalBlock >> n) & 1; };
  const int parity6 = 1 ^ bit(0) ^ bit(1) ^ bit(2) ^ bit(3);
  const int parity7 = 1 ^ bit(2) ^ bit(3) ^ bit(4) ^ bit(5);
  return static_cast<std::uint8_t>((logicalBlock & 0x3F) | parity6 << 6 | parity7 << 7);
}

std::uint8_t ReadEfuseLogicalWord(DeviceContext& device, std::uint16_t offset,
                                  std::uint16_t& value) {
  EfuseController efuse(device);
  return efuse.ReadLogicalWord(offset, value);
}

bool ReadEfusePhysical(DeviceContext& device, std::uint16_t offset, std::span<std::uint8_t> out) {
  EfuseController efuse(device);
  efuse.ReadPhysical(offset, out);
  return !efuse.failed();
}

bool ReadEfusePhysicalBlock(DeviceContext& device, std::uint16_t offset,
                            std::span<std::uint8_t> out) {
  EfuseController efuse(device);
  for (std::size_t i = 0; i < out.size(); i += 2)
    efuse.ReadPhysical(static_cast<std::uint16_t>(offset + i),
                       out.subspan(i, std::min<std::size_t>(2, out.size() - i)));
  return !efuse.failed();
}

bool WriteEfusePhysicalWord(DeviceContext& device, std::uint16_t offset, std::uint16_t value) {
  EfuseController efuse(device);
  efuse.WritePhysicalWord(offset, value);
  return !efuse.failed();
}

bool WriteEfusePhysicalBlock(DeviceContext& device, std::uint16_t offset,
                             std::span<const std::uint8_t> data) {
  EfuseController efuse(device);
  for (std::size_t i = 0; i < data.size() && !efuse.failed(); i += 2) {
    const std::uint8_t high = i + 1 < data.size() ? data[i + 1] : 0;
    efuse.WritePhysicalWord(static_cast<std::uint16_t>(offset + i),
                            static_cast<std::uint16_t>(data[i] | high << 8));
  }
  return !efuse.failed();
}

bool ReadEfuseLogicalBlock(DeviceContext& device, std::uint16_t offset, std::span<std::uint8_t> out,
                           bool zeroUnmapped) {
  EfuseController efuse(device);
  for (std::size_t i = 0; i < out.size(); i += 2) {
    std::uint16_t word = 0xFFFF;
    const std::uint8_t status = efuse.ReadLogicalWord(static_cast<std::uint16_t>(offset + i), word);
    if (status == kEfuseUnmapped && zeroUnmapped) word = 0;
    out[i] = static_cast<std::uint8_t>(word);
    if (i + 1 < out.size()) out[i + 1] = static_cast<std::uint8_t>(word >> 8);
  }
  return !efuse.failed();
}

std::string_view EfuseWriteResultText(EfuseWriteResult result) {
  switch (result) {
    case EfuseWriteResult::Written: return "written and verified";
    case EfuseWriteResult::NoFreeBlock: return "no free eFuse block is left";
    case EfuseWriteResult::NotProgrammable:
      return "no free eFuse block is left and the data would clear burnt bits";
    case EfuseWriteResult::VerifyFailed: return "the data did not verify after 5 attempts";
    case EfuseWriteResult::OutOfRange: return "the offset or length is outside the eFuse words";
    case EfuseWriteResult::DeviceFailed: return "the eFuse registers could not be accessed";
  }
  return "unknown failure";
}

EfuseWriteResult WriteEfuseLogical(DeviceContext& device, std::uint16_t x,
                                   std::span<const std::uint8_t> data) {
  const std::size_t n = data.size();
  if ((n != 2 && n != 16) || (x & 1) || (n == 16 && (x & 15)) || x + n > kEfuseLogicalSize)
    return EfuseWriteResult::OutOfRange;

  EfuseController efuse(device);
  std::uint16_t current = 0;
  const std::uint8_t status = efuse.ReadLogicalWord(x, current);
  if (efuse.failed()) return EfuseWriteResult::DeviceFailed;

  std::uint8_t block = status;
  if (status != kEfuseUnmapped) {
    if (EfuseFreeBlockCount(efuse) == 0 && !ProgrammableInPlace(efuse, block, x, data))
      return efuse.failed() ? EfuseWriteResult::DeviceFailed : EfuseWriteResult::NotProgrammable;
  } else {
    const std::optional<std::uint8_t> fresh = FindFreeBlock(efuse);
    if (!fresh) return efuse.failed() ? EfuseWriteResult::DeviceFailed : EfuseWriteResult::NoFreeBlock;
    block = *fresh;
  }

  const std::size_t wordIndex = (x >> 1) & 7;
  BlockWords target{};
  if (n == 16) {
    for (std::size_t i = 0; i < 8; ++i) target[i] = GetLe16(data, 2 * i);
  } else {
    target = ReadBlockWords(efuse, block);
    target[wordIndex] = GetLe16(data, 0);
  }

  const auto logicalBlock = static_cast<std::uint8_t>(x >> 4);
  bool first = true;
  for (int attempt = 1;; ++attempt) {
    // A word that only adds bits is first programmed in place, alone; once
    // moved, the whole merged block is programmed.
    if (n == 2 && first) {
      efuse.WritePhysicalWord(static_cast<std::uint16_t>(BlockStart(block) + (x & 15)),
                              target[wordIndex]);
    } else {
      for (std::size_t i = 0; i < 8; ++i)
        efuse.WritePhysicalWord(static_cast<std::uint16_t>(BlockStart(block) + 2 * i), target[i]);
    }
    WriteMapByte(efuse, block, logicalBlock);
    const bool verified = ReadBlockWords(efuse, block) == target;
    if (efuse.failed()) return EfuseWriteResult::DeviceFailed;
    if (verified) return EfuseWriteResult::Written;
    // Give up before moving again: the last block stays mapped, so the
    // other words of the logical block are not lost.
    if (attempt == kWriteAttempts) return EfuseWriteResult::VerifyFailed;

    first = false;
    const int oldMapAddress = device.efuseAreaStart + block;
    const std::optional<std::uint8_t> fresh = FindFreeBlock(efuse);
    if (!fresh) return efuse.failed() ? EfuseWriteResult::DeviceFailed : EfuseWriteResult::NoFreeBlock;
    block = *fresh;
    InvalidateMapByte(efuse, oldMapAddress);
  }
}

EfuseWriteResult WriteEfuseLogicalRecord(DeviceContext& device, std::uint16_t offset,
                                         std::span<const std::uint8_t> data,
                                         std::uint16_t* failedOffset) {
  if (data.empty()) return EfuseWriteResult::Written;
  const auto report = [&](EfuseWriteResult result, std::size_t at) {
    if (failedOffset) *failedOffset = static_cast<std::uint16_t>(at);
    return result;
  };
  if (offset + data.size() > kEfuseLogicalSize) return report(EfuseWriteResult::OutOfRange, offset);

  // Widen to whole words with the current content.
  const std::size_t start = offset & ~1u;
  const std::size_t end = (offset + data.size() + 1) & ~std::size_t{1};
  std::vector<std::uint8_t> words(end - start);
  if (start != offset || end != offset + data.size()) {
    if (!ReadEfuseLogicalBlock(device, static_cast<std::uint16_t>(start), words, false))
      return report(EfuseWriteResult::DeviceFailed, start);
  }
  std::copy(data.begin(), data.end(), words.begin() + static_cast<std::ptrdiff_t>(offset - start));

  if (start % 16 == 0 && words.size() == 16) {
    const EfuseWriteResult result = WriteEfuseLogical(device, static_cast<std::uint16_t>(start), words);
    return result == EfuseWriteResult::Written ? result : report(result, start);
  }
  EfuseWriteResult first = EfuseWriteResult::Written;
  for (std::size_t i = 0; i < words.size(); i += 2) {
    const EfuseWriteResult result = WriteEfuseLogical(
        device, static_cast<std::uint16_t>(start + i), std::span(words).subspan(i, 2));
    if (result != EfuseWriteResult::Written && first == EfuseWriteResult::Written) {
      first = report(result, start + i);
    }
    // A device that stopped answering will not answer the next word either.
    if (result == EfuseWriteResult::DeviceFailed) break;
  }
  return first;
}

}  // namespace kqa::device
