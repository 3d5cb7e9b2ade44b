#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/device/config_memory_mode.h"
#include "app/device/efuse.h"

namespace kqa::device {

// One logical block that a write changes, and how.
struct EfuseBlockPlan {
  std::uint8_t logicalBlock = 0;
  // The physical block that holds it now; none when it is not mapped.
  std::optional<std::uint8_t> mappedTo;
  // Where it is programmed: its own block when the new content only adds
  // 1-bits to it (in place), else a fresh block, whose map byte is then
  // burnt (and the old one, if any, invalidated).
  std::uint8_t physicalBlock = 0;
  bool inPlace = false;
  // The physical block's 16 bytes now and afterwards.
  std::array<std::uint8_t, 16> before{};
  std::array<std::uint8_t, 16> after{};

  bool operator==(const EfuseBlockPlan&) const = default;
};

// The whole of one logical eFuse write, worked out from the eFuse as it is
// before anything is burnt. A block's bytes are programmed as one record:
// a moved block costs one fresh block however many of its words change.
// Blocks the write leaves as they are (the same bytes, or 0xFF over an
// unmapped block) are not in the plan and cost nothing. A block that is not
// mapped yet gets the written bytes over the fresh block's blank (zero)
// bytes, as the chip's logical write does.
struct EfuseWritePlan {
  std::uint16_t offset = 0;
  std::vector<std::uint8_t> data;
  std::vector<EfuseBlockPlan> blocks;  // in logical order; only the blocks that change
  // Logical blocks that needed a fresh block when none was left.
  std::vector<std::uint8_t> unplaced;
  int freeBefore = 0;
  // The free count afterwards, worked out on the map as the write leaves
  // it: exact as long as every word verifies.
  int freeAfter = 0;
  // Fresh blocks the write needs, and how many it could have.
  int freshNeeded = 0;
  int freshAvailable = 0;
  // Written: the plan can be carried out. Otherwise why not (nothing is
  // burnt then): OutOfRange, NoFreeBlock (a new block needs a fresh one),
  // NotProgrammable (a mapped block would clear bits and no block is
  // left), DeviceFailed (the eFuse could not be read).
  EfuseWriteResult verdict = EfuseWriteResult::Written;

  bool canRun() const { return verdict == EfuseWriteResult::Written; }
  bool operator==(const EfuseWritePlan&) const = default;
};

// Reads what the write needs (the map, the blocks it touches and the fresh
// blocks it would take) and plans it. Burns nothing.
EfuseWritePlan PlanEfuseWrite(ConfigMemory memory, std::uint16_t offset,
                              std::span<const std::uint8_t> data);

// Why a plan cannot run, e.g. "it needs 3 new blocks and 2 are free".
std::string EfuseRefusalReason(const EfuseWritePlan& plan);

// Carries out a plan that canRun(): plans again first and refuses, burning
// nothing, when the eFuse changed since (returns NotProgrammable then). Each
// block is programmed, its map byte burnt, then verified; a block that does
// not verify is moved to the next fresh block like any failed verify (at
// most 5 attempts). Finally every written byte is read back logically. On a
// failure `failedOffset` names the logical offset of the first word that is
// wrong (or of the block being written when the device failed).
EfuseWriteResult CarryOutEfusePlan(ConfigMemory memory, const EfuseWritePlan& plan,
                                   std::uint16_t* failedOffset = nullptr);

}  // namespace kqa::device
