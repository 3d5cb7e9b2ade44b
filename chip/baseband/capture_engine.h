#pragma once

#include <cstdint>
#include <optional>

#include "chip/baseband/signal_view.h"
#include "chip/chip_core.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The baseband capture engine. The ADC writes a ring of 4096 positions (16 KB
// per bank; each position holds four complex samples, 100 ns at 40 MHz)
// without pause; a capture stops it a set distance after a trigger, and the
// host reads the ring through the packet-buffer window 0x8000-0xBFFF (MAC
// 0x0400 = 0x0C00 for bank 0, 0x20C00 for bank 1).
//
//   MAC 0x0C00  bit 0 enable (0 aborts), bit 8 arm (a write that sets it
//               starts a capture), other bits stored
//   MAC 0x0C04  read-only: bit 16 busy (armed, not finished), bits 0-13 the
//               end pointer, the ring's byte offset where the capture stopped
//               (its oldest sample)
//   MAC 0x0C08  bits 0-13 stop offset in bytes of ring after the trigger,
//               bit 17 FEQ instead of ADC samples, bit 20 manual trigger: a
//               write with it set triggers an armed capture at once; while it
//               is clear, the first frame the receiver detects triggers
//   BBP R252    bit 2 at arming: 6-bit samples instead of 8-bit
//
// ADC samples, in time order position p then p + 1: bank 0 word p holds
// samples 4p and 4p + 1, bank 1 word p samples 4p + 2 and 4p + 3; each
// sample is Q in the low byte and I in the high byte of its half word,
// 8-bit two's complement, or with 6-bit samples the converter's value in
// bits 2-7 of the byte (bits 0-1 zero).
//
// FEQ: the equalized subcarriers of the OFDM data symbols received, 64 per
// symbol (subcarrier -32 first) in 16 positions, one unit of the
// constellation = 32 LSB; the ring then advances only as symbols arrive.
class CaptureEngine {
 public:
  static constexpr std::uint16_t kControl = 0x0C00;
  static constexpr std::uint16_t kStatus = 0x0C04;
  static constexpr std::uint16_t kConfig = 0x0C08;
  static constexpr std::uint32_t kEnable = 1u << 0;
  static constexpr std::uint32_t kArm = 1u << 8;
  static constexpr std::uint32_t kBusy = 1u << 16;
  static constexpr std::uint32_t kFeq = 1u << 17;
  static constexpr std::uint32_t kManualTrigger = 1u << 20;
  static constexpr std::uint32_t kRingPositions = 4096;

  CaptureEngine(ChipCore& core, const SignalView& signal);

  // A transmission began on the air; `detected`: the receiver found its
  // preamble (what the automatic trigger fires on).
  void frameStarted(const AirFrame& frame, bool detected);
  // Finishes a capture whose stop time has come.
  void advance(Clock::Duration now);
  bool busy() const { return run_.has_value(); }
  std::uint32_t endPointer() const { return endPointer_; }
  void reset();

 private:
  struct Run {
    bool sixBit = false;
    bool feq = false;
    double rateMHz = 40.0;
    Clock::Duration armed{};
    std::optional<Clock::Duration> stop;
  };

  void writeControl(std::uint32_t value);
  void writeConfig(std::uint32_t value);
  void trigger(Clock::Duration at);
  void fillSamples(const Run& run);
  void fillFeq(const Run& run);
  void put(std::uint64_t position, const std::int8_t (&values)[8]);

  ChipCore& core_;
  const SignalView& signal_;
  std::optional<Run> run_;
  std::uint32_t endPointer_ = 0;
  std::uint64_t feqPosition_ = 0;
};

}  // namespace kqa::chip
