#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "chip/busy_latch.h"
#include "chip/chip_faults.h"
#include "chip/efuse.h"
#include "chip/register_space.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The eFuse controller in the MAC: control register 0x24 and the four data
// registers 0x28-0x34 (bytes 0-3 ... 12-15 of the addressed block).
//
// MAC 0x24:
//   bits 0-5    result of a logical read: the physical block that holds the
//               addressed logical block, or 63 when none does (read-only)
//   bits 6-7    operation: 00 logical read, 01 physical read, 11 physical
//               write; 10 does nothing
//   bits 16-25  the byte address of the 16-byte block (only bits 4-9 count)
//   bit 30      start; reads 1 until the operation is done
//   bit 31      1 when the board keeps its configuration in eFuse (a strap,
//               read-only)
//
// A physical write burns the 1-bits of the data registers into the block;
// blocks at 512 and above do not exist: they read 0 and burn nothing. A
// logical read of an unmapped block leaves the data registers as they were.
class EfuseController {
 public:
  static constexpr std::uint16_t kControl = 0x24;
  static constexpr std::uint16_t kData = 0x28;  // 0x28, 0x2C, 0x30, 0x34
  static constexpr std::uint32_t kResultMask = 0x3F;
  static constexpr std::uint32_t kStart = 1u << 30;
  static constexpr std::uint32_t kConfigInEfuse = 1u << 31;

  enum Operation : std::uint32_t { LogicalRead = 0, PhysicalRead = 1, Nothing = 2, PhysicalWrite = 3 };

  EfuseController(Clock& clock, ChipFaults& faults, Efuse& efuse, bool configInEfuse,
                  Clock::Duration readTime, Clock::Duration programTime);

  void install(RegisterSpace& mac);
  // Called after a physical write that burnt at least one bit.
  void setBurnListener(std::function<void()> listener) { burnListener_ = std::move(listener); }
  void reset();

 private:
  std::uint32_t readControl();
  void writeControl(std::uint32_t value);
  std::uint32_t peekControl() const;
  bool stuck() const { return faults_.busyStuck(BusyUnit::Efuse); }
  void start(Operation operation, std::uint16_t blockAddress);
  void fillData(std::uint16_t blockAddress);
  void program(std::uint16_t blockAddress, const std::array<std::uint32_t, 4>& words);

  Clock& clock_;
  ChipFaults& faults_;
  Efuse& efuse_;
  const bool configInEfuse_;
  const Clock::Duration readTime_;
  const Clock::Duration programTime_;
  BusyLatch latch_;
  std::uint32_t control_ = 0;  // host-written bits (operation, address, ...)
  std::uint32_t result_ = 0;
  std::array<std::uint32_t, 4> data_{};
  std::function<void()> burnListener_;
};

}  // namespace kqa::chip
