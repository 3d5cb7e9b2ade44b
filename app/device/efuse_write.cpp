// The eFuse's logical writes: each one planned whole before the first bit
// is burnt (efuse_plan.h), then programmed block by block and verified.
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "app/device/efuse.h"
#include "app/device/efuse_controller.h"
#include "app/device/efuse_map.h"
#include "app/device/efuse_plan.h"
#include "platform/bytes/little_endian.h"

namespace kqa::device {
namespace {

constexpr int kWriteAttempts = 5;
using Block = std::array<std::uint8_t, 16>;

std::uint16_t BlockStart(std::uint8_t block) { return static_cast<std::uint16_t>(block * 16); }

Block ReadBlock(EfuseController& efuse, std::uint8_t block) {
  Block bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 2)
    PutLe16(bytes, i, efuse.ReadPhysicalWord(static_cast<std::uint16_t>(BlockStart(block) + i)));
  return bytes;
}

bool AddsOnlyBits(const Block& before, const Block& after) {
  for (std::size_t i = 0; i < before.size(); ++i)
    if ((before[i] & ~after[i]) != 0) return false;
  return true;
}

// The map byte of a physical block: a 16-bit write of its word, the other
// byte zero (which burns nothing).
void WriteMapByte(EfuseController& efuse, std::uint8_t block, std::uint8_t logicalBlock) {
  const int address = efuse.mapStart() + block;
  const std::uint8_t mapByte = EfuseMapByte(logicalBlock);
  if (address & 1)
    efuse.WritePhysicalWord(static_cast<std::uint16_t>(address - 1),
                            static_cast<std::uint16_t>(mapByte << 8));
  else
    efuse.WritePhysicalWord(static_cast<std::uint16_t>(address), mapByte);
}

// Burns one more bit of a block's map byte, which then no longer matches
// its parity bits and so no longer maps anything.
void InvalidateMapByte(EfuseController& efuse, std::uint8_t block) {
  const int address = efuse.mapStart() + block;
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

std::optional<std::uint8_t> FindFreeBlock(EfuseController& efuse) {
  const std::optional<EfuseMap> map = EfuseMap::Read(efuse);
  return map ? map->nextFree() : std::nullopt;
}

// The offset of the first word of `block` that differs from `wanted`.
std::uint16_t FirstWrongWord(std::uint8_t logicalBlock, const Block& read, const Block& wanted) {
  std::size_t i = 0;
  while (i + 2 < read.size() && read[i] == wanted[i] && read[i + 1] == wanted[i + 1]) i += 2;
  return static_cast<std::uint16_t>(logicalBlock * 16 + i);
}

struct Failure {
  EfuseWriteResult result;
  std::uint16_t offset;
};

// Programs one block of a plan and verifies it. A block that does not read
// back as planned moves to the next fresh block, as any failed verify
// does; a mapping it replaces is invalidated once the new one verified.
std::optional<Failure> ProgramBlock(EfuseController& efuse, const EfuseBlockPlan& block) {
  const std::uint16_t blockOffset = static_cast<std::uint16_t>(block.logicalBlock * 16);
  std::uint8_t target = block.physicalBlock;
  Block content = block.before;
  if (!block.inPlace) {
    // The planned block, unless an earlier block of this write needed more
    // blocks than planned (a failed verify) and took it.
    const std::optional<std::uint8_t> fresh = FindFreeBlock(efuse);
    if (efuse.failed()) return Failure{EfuseWriteResult::DeviceFailed, blockOffset};
    if (!fresh) return Failure{EfuseWriteResult::NoFreeBlock, blockOffset};
    if (*fresh != target) {
      target = *fresh;
      content = ReadBlock(efuse, target);
    }
  }
  bool burnMapByte = !block.inPlace;
  // The mapping this block replaces, invalidated once the new one verified
  // (-1: none).
  int replaced = !block.inPlace && block.mappedTo ? *block.mappedTo : -1;
  for (int attempt = 1;; ++attempt) {
    for (std::size_t i = 0; i < content.size(); i += 2)
      if (GetLe16(content, i) != GetLe16(block.after, i))
        efuse.WritePhysicalWord(static_cast<std::uint16_t>(BlockStart(target) + i),
                                GetLe16(block.after, i));
    if (burnMapByte) WriteMapByte(efuse, target, block.logicalBlock);
    const Block read = ReadBlock(efuse, target);
    if (efuse.failed()) return Failure{EfuseWriteResult::DeviceFailed, blockOffset};
    if (read == block.after) {
      if (replaced >= 0) InvalidateMapByte(efuse, static_cast<std::uint8_t>(replaced));
      if (efuse.failed()) return Failure{EfuseWriteResult::DeviceFailed, blockOffset};
      return std::nullopt;
    }
    const std::uint16_t wrong = FirstWrongWord(block.logicalBlock, read, block.after);
    // Give up before moving again: the last block stays mapped, so the
    // block's other words are not lost.
    if (attempt == kWriteAttempts) return Failure{EfuseWriteResult::VerifyFailed, wrong};
    const std::optional<std::uint8_t> fresh = FindFreeBlock(efuse);
    if (efuse.failed()) return Failure{EfuseWriteResult::DeviceFailed, blockOffset};
    if (!fresh) return Failure{EfuseWriteResult::VerifyFailed, wrong};
    if (burnMapByte)
      InvalidateMapByte(efuse, target);
    else
      replaced = target;  // a block programmed in place keeps its mapping until the move verifies
    target = *fresh;
    content = ReadBlock(efuse, target);
    burnMapByte = true;
  }
}

// Every written byte, read back through the map.
std::optional<Failure> VerifyLogically(EfuseController& efuse, const EfuseWritePlan& plan) {
  const std::size_t end = plan.offset + plan.data.size();
  for (std::size_t word = plan.offset & ~1u; word < end; word += 2) {
    std::uint16_t value = 0;
    efuse.ReadLogicalWord(static_cast<std::uint16_t>(word), value);
    if (efuse.failed()) return Failure{EfuseWriteResult::DeviceFailed, static_cast<std::uint16_t>(word)};
    for (std::size_t i = 0; i < 2; ++i) {
      const std::size_t at = word + i;
      if (at < plan.offset || at >= end) continue;
      if (static_cast<std::uint8_t>(value >> (8 * i)) != plan.data[at - plan.offset])
        return Failure{EfuseWriteResult::VerifyFailed, static_cast<std::uint16_t>(word)};
    }
  }
  return std::nullopt;
}

EfuseWriteResult Execute(ConfigMemory memory, const EfuseWritePlan& plan, std::uint16_t* failedOffset) {
  const auto report = [&](const Failure& failure) {
    if (failedOffset) *failedOffset = failure.offset;
    return failure.result;
  };
  if (!plan.canRun()) return report({plan.verdict, plan.offset});
  EfuseController efuse(memory);
  for (const EfuseBlockPlan& block : plan.blocks)
    if (const auto failure = ProgramBlock(efuse, block)) return report(*failure);
  if (plan.blocks.empty()) return EfuseWriteResult::Written;
  if (const auto failure = VerifyLogically(efuse, plan)) return report(*failure);
  return EfuseWriteResult::Written;
}

}  // namespace

EfuseWritePlan PlanEfuseWrite(ConfigMemory memory, std::uint16_t offset,
                              std::span<const std::uint8_t> data) {
  EfuseWritePlan plan;
  plan.offset = offset;
  plan.data.assign(data.begin(), data.end());
  if (offset + data.size() > kEfuseLogicalSize) {
    plan.verdict = EfuseWriteResult::OutOfRange;
    return plan;
  }
  EfuseController efuse(memory);
  const std::optional<EfuseMap> map = EfuseMap::Read(efuse);
  if (!map) {
    plan.verdict = EfuseWriteResult::DeviceFailed;
    return plan;
  }
  plan.freeBefore = map->freeCount();
  for (EfuseMap spare = *map; const auto block = spare.nextFree(); ++plan.freshAvailable)
    spare.setByte(*block, 0xFF);

  EfuseMap after = *map;
  const std::size_t end = offset + data.size();
  for (std::size_t first = offset & ~std::size_t{15}; first < end; first += 16) {
    EfuseBlockPlan block;
    block.logicalBlock = static_cast<std::uint8_t>(first / 16);
    std::uint16_t ignored = 0;
    const std::uint8_t status = efuse.ReadLogicalWord(static_cast<std::uint16_t>(first), ignored);
    if (efuse.failed()) break;
    // The bytes of this block that the write covers.
    const std::size_t from = std::max<std::size_t>(first, offset);
    const std::size_t to = std::min(first + 16, end);
    const auto put = [&](Block& bytes) {
      for (std::size_t at = from; at < to; ++at) bytes[at - first] = data[at - offset];
    };
    if (status != kEfuseUnmapped) {
      block.mappedTo = status;
      block.before = ReadBlock(efuse, status);
      block.after = block.before;
      put(block.after);
      if (block.after == block.before) continue;
      if (AddsOnlyBits(block.before, block.after)) {
        block.inPlace = true;
        block.physicalBlock = status;
        plan.blocks.push_back(block);
        continue;
      }
    } else if (std::all_of(data.begin() + static_cast<std::ptrdiff_t>(from - offset),
                           data.begin() + static_cast<std::ptrdiff_t>(to - offset),
                           [](std::uint8_t byte) { return byte == 0xFF; })) {
      continue;  // reads 0xFF already
    }

    ++plan.freshNeeded;
    const std::optional<std::uint8_t> fresh = after.nextFree();
    if (!fresh) {
      plan.unplaced.push_back(block.logicalBlock);
      if (plan.verdict == EfuseWriteResult::Written)
        plan.verdict = block.mappedTo && plan.freshAvailable == 0 ? EfuseWriteResult::NotProgrammable
                                                                   : EfuseWriteResult::NoFreeBlock;
      continue;
    }
    block.physicalBlock = *fresh;
    const Block old = block.mappedTo ? block.before : Block{};
    block.before = ReadBlock(efuse, *fresh);
    block.after = block.mappedTo ? old : block.before;
    put(block.after);
    after.setByte(*fresh, EfuseMapByte(block.logicalBlock));
    plan.blocks.push_back(block);
  }
  if (efuse.failed()) {
    plan.verdict = EfuseWriteResult::DeviceFailed;
    plan.blocks.clear();
    return plan;
  }
  plan.freeAfter = after.freeCount();
  if (!plan.canRun()) plan.freeAfter = plan.freeBefore - plan.freshNeeded;
  return plan;
}

std::string EfuseRefusalReason(const EfuseWritePlan& plan) {
  const auto blocks = [](int n) { return std::to_string(n) + (n == 1 ? " new block" : " new blocks"); };
  switch (plan.verdict) {
    case EfuseWriteResult::NoFreeBlock:
    case EfuseWriteResult::NotProgrammable:
      if (plan.freshAvailable == 0)
        return plan.verdict == EfuseWriteResult::NotProgrammable
                   ? "the data would clear burnt bits and no free eFuse block is left"
                   : "it needs " + blocks(plan.freshNeeded) + " and no free eFuse block is left";
      return "it needs " + blocks(plan.freshNeeded) + " and only " +
             std::to_string(plan.freshAvailable) + " " +
             (plan.freshAvailable == 1 ? "is" : "are") + " free";
    default:
      return std::string(EfuseWriteResultText(plan.verdict));
  }
}

EfuseWriteResult CarryOutEfusePlan(ConfigMemory memory, const EfuseWritePlan& plan,
                                   std::uint16_t* failedOffset) {
  if (!plan.canRun()) return Execute(memory, plan, failedOffset);
  // The question before a burn may have waited a while: burn only what was
  // asked about.
  const EfuseWritePlan now = PlanEfuseWrite(memory, plan.offset, plan.data);
  if (now != plan) {
    if (failedOffset) *failedOffset = plan.offset;
    return now.verdict == EfuseWriteResult::DeviceFailed ? EfuseWriteResult::DeviceFailed
                                                          : EfuseWriteResult::Changed;
  }
  return Execute(memory, now, failedOffset);
}

EfuseWriteResult WriteEfuseLogical(ConfigMemory memory, std::uint16_t x,
                                   std::span<const std::uint8_t> data) {
  const std::size_t n = data.size();
  if ((n != 2 && n != 16) || (x & 1) || (n == 16 && (x & 15)) || x + n > kEfuseLogicalSize)
    return EfuseWriteResult::OutOfRange;
  return Execute(memory, PlanEfuseWrite(memory, x, data), nullptr);
}

EfuseWriteResult WriteEfuseLogicalRecord(ConfigMemory memory, std::uint16_t offset,
                                         std::span<const std::uint8_t> data,
                                         std::uint16_t* failedOffset) {
  if (data.empty()) return EfuseWriteResult::Written;
  return Execute(memory, PlanEfuseWrite(memory, offset, data), failedOffset);
}

}  // namespace kqa::device
