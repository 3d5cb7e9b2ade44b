#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "app/device/config_memory_mode.h"

namespace kqa::device {

// The eFuse: 512 physical bytes read and programmed through the MAC's eFuse
// controller. Physical block B is bytes 16B..16B+15; the map bytes from
// efuseAreaStart (480) to efuseAreaEnd (508) of the configuration-memory
// mode say which logical 16-byte block (0..31) each physical block holds.
// Programming can only set bits. Reads and physical programming take the
// device; the logical writes, which read and burn the map, take the device
// and the mode (ConfigMemory).
//
// UI thread only: the operations are multi-step register protocols that must
// not interleave with other traffic on MAC registers 0x24..0x34. They reach
// the chip through RegisterAccess (which opens the connection if needed);
// a failed register access ends the operation, and its result says so.

inline constexpr std::uint16_t kEfuseLogicalSize = 512;
inline constexpr std::uint8_t kEfuseUnmapped = 63;

// The map byte of logical block L: bits 0..5 = L, bit 6 = 1^L0^L1^L2^L3,
// bit 7 = 1^L2^L3^L4^L5.
std::uint8_t EfuseMapByte(std::uint8_t logicalBlock);

// The physical block holding logical offset x's block, or 63 when none does
// (then `value` is 0xFFFF).
std::uint8_t ReadEfuseLogicalWord(DeviceContext& device, std::uint16_t offset,
                                  std::uint16_t& value);
// Physical reads; out.size() at most 4 for ReadEfusePhysical. False when a
// register access failed.
bool ReadEfusePhysical(DeviceContext& device, std::uint16_t offset, std::span<std::uint8_t> out);
bool ReadEfusePhysicalBlock(DeviceContext& device, std::uint16_t offset,
                            std::span<std::uint8_t> out);
// Physical programming, word by word (a trailing odd byte is programmed with
// a zero partner, which burns nothing).
bool WriteEfusePhysicalWord(DeviceContext& device, std::uint16_t offset, std::uint16_t value);
bool WriteEfusePhysicalBlock(DeviceContext& device, std::uint16_t offset,
                             std::span<const std::uint8_t> data);

// Logical reads, word by word; unmapped words read 0xFFFF, or 0 with
// `zeroUnmapped`. Writes only out.size() bytes.
bool ReadEfuseLogicalBlock(DeviceContext& device, std::uint16_t offset, std::span<std::uint8_t> out,
                           bool zeroUnmapped);

enum class EfuseWriteResult {
  Written,          // programmed and verified
  NoFreeBlock,      // the data needed fresh blocks and too few were left
  NotProgrammable,  // no block is free and the data would clear burnt bits
  VerifyFailed,     // still wrong after 5 attempts
  OutOfRange,       // odd offset, bad length, or beyond the 512 logical bytes
  DeviceFailed,     // a register access failed
  Changed,          // the eFuse changed between the plan and the burn
};
std::string_view EfuseWriteResultText(EfuseWriteResult result);

// Logical writes, all or nothing where the eFuse allows it: the whole
// change is planned first (efuse_plan.h) and refused, burning nothing,
// when the free blocks do not suffice. Each changed block is then
// programmed as one record: in place when it only adds bits, otherwise the
// merged block moves to one fresh physical block and the old map byte is
// invalidated. Every block is verified, and every written byte read back.
//
// One word (2 bytes) or one whole block (16 bytes at a multiple of 16).
EfuseWriteResult WriteEfuseLogical(ConfigMemory memory, std::uint16_t offset,
                                   std::span<const std::uint8_t> data);

// Any record of logical content (bytes outside it never change). Stops at
// the first failure and names its logical offset in `failedOffset`.
EfuseWriteResult WriteEfuseLogicalRecord(ConfigMemory memory, std::uint16_t offset,
                                         std::span<const std::uint8_t> data,
                                         std::uint16_t* failedOffset = nullptr);

}  // namespace kqa::device
