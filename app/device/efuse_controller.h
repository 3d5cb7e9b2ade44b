#pragma once

#include <cstdint>
#include <span>

#include "app/device/config_memory_mode.h"
#include "app/device/register_access.h"
#include "app/device/register_sequence.h"

namespace kqa::device {

// The register protocol of the MAC's eFuse controller: control register 0x24
// (operation in bits 6..7, block address in bits 16..25, start/busy bit 30,
// logical-read result in bits 0..5) and the data registers 0x28..0x34.
//
// One controller serves one eFuse operation, as one register sequence
// (register_sequence.h). When a register access fails,
// the controller stops touching the chip for the rest of the operation:
// reads then give 0xFFFFFFFF and writes are dropped. An eFuse program
// operation must never run on data registers that could not be read.
class EfuseController {
 public:
  static constexpr std::uint8_t kUnmapped = 63;
  static constexpr std::uint32_t kControl = 0x24;
  static constexpr std::uint32_t kData = 0x28;

  // For physical and logical reads and physical programming.
  explicit EfuseController(DeviceContext& device) : device_(device), sequence_(device), registers_(device) {}
  // For what reads or burns the block map: its geometry (efuseAreaStart and
  // efuseAreaEnd) comes from the mode.
  explicit EfuseController(ConfigMemory memory)
      : EfuseController(memory.device) {
    mapStart_ = memory.mode.efuseAreaStart;
    mapEnd_ = memory.mode.efuseAreaEnd;
  }

  // Logical read of the word at logical offset x: returns the physical block
  // holding x's logical block, or 63 (then `value` is 0xFFFF).
  std::uint8_t ReadLogicalWord(std::uint16_t x, std::uint16_t& value);
  // Physical read of out.size() (at most 4) bytes from physical offset x.
  void ReadPhysical(std::uint16_t x, std::span<std::uint8_t> out);
  std::uint16_t ReadPhysicalWord(std::uint16_t x);
  // Programs the 16-bit value at even physical offset x (the rest of its
  // block is written back unchanged).
  void WritePhysicalWord(std::uint16_t x, std::uint16_t value);

  // True once any register access of this operation failed.
  bool failed() const { return failed_; }
  DeviceContext& device() { return device_; }
  // The block map's first and last byte (efuse_map.h).
  std::uint16_t mapStart() const { return mapStart_; }
  std::uint16_t mapEnd() const { return mapEnd_; }

 private:
  std::uint32_t Read(std::uint32_t reg);
  void Write(std::uint32_t reg, std::uint32_t value);
  // Starts `operation` (bits 6..7) on the block of x; returns the last value
  // of the control register once bit 30 cleared or `polls` reads passed.
  std::uint32_t Start(std::uint32_t control, std::uint32_t operation, std::uint16_t x, int polls);

  DeviceContext& device_;
  RegisterSequence sequence_;  // the whole operation, as no other client may step in
  RegisterAccess registers_;
  bool failed_ = false;
  std::uint16_t mapStart_ = 0;
  std::uint16_t mapEnd_ = 0;
};

}  // namespace kqa::device
