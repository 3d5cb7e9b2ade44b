#pragma once

#include <cstdint>
#include <functional>

#include "chip/bbp_registers.h"
#include "chip/busy_latch.h"
#include "chip/chip_faults.h"
#include "chip/register_space.h"
#include "chip/rf_registers.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The MAC registers through which the host reaches the chip's serial
// engines. Each has a busy bit: a command written while it reads 1 is
// dropped, as the engine is still shifting the previous one.

// MAC 0x101C, the BBP command register. A write with bit 17 set starts a
// command: bits 8-15 the register, bit 16 read (1) or write (0), bits 0-7 the
// value to write. Bit 17 reads 1 until the command is done; a read command
// then leaves the register's value in bits 0-7.
class BbpCommandPort {
 public:
  static constexpr std::uint16_t kAddress = 0x101C;
  static constexpr std::uint32_t kBusy = 1u << 17;
  static constexpr std::uint32_t kRead = 1u << 16;

  BbpCommandPort(Clock& clock, ChipFaults& faults, BbpRegisters& bbp, Clock::Duration commandTime)
      : clock_(clock), faults_(faults), bbp_(bbp), commandTime_(commandTime) {}

  void install(RegisterSpace& mac);
  std::uint32_t read();
  void write(std::uint32_t value);
  std::uint32_t peek() const;
  void reset();

 private:
  bool stuck() const { return faults_.busyStuck(BusyUnit::Bbp); }

  Clock& clock_;
  ChipFaults& faults_;
  BbpRegisters& bbp_;
  Clock::Duration commandTime_;
  BusyLatch latch_;
  std::uint32_t value_ = 0;  // without the busy bit
};

// MAC 0x0500, the RF command register. Bit 31 starts a command and reads 1
// while it runs; bit 30 write (1) or read (0); bits 14-17 the bank, 8-13 the
// register, 0-7 the value. A read command leaves the value in bits 0-7.
class RfCommandPort {
 public:
  static constexpr std::uint16_t kAddress = 0x0500;
  static constexpr std::uint32_t kBusy = 1u << 31;
  static constexpr std::uint32_t kWrite = 1u << 30;

  RfCommandPort(Clock& clock, ChipFaults& faults, RfRegisters& rf, Clock::Duration commandTime)
      : clock_(clock), faults_(faults), rf_(rf), commandTime_(commandTime) {}

  void install(RegisterSpace& mac);
  std::uint32_t read();
  void write(std::uint32_t value);
  std::uint32_t peek() const;
  void reset();

 private:
  bool stuck() const { return faults_.busyStuck(BusyUnit::Rf); }

  Clock& clock_;
  ChipFaults& faults_;
  RfRegisters& rf_;
  Clock::Duration commandTime_;
  BusyLatch latch_;
  std::uint32_t value_ = 0;
};

// MAC 0x1020, the serial word for an external RF synthesiser. A write shifts
// the word out (handed to the sink when done); bit 31 reads 1 meanwhile.
class RfSerialPort {
 public:
  static constexpr std::uint16_t kAddress = 0x1020;
  static constexpr std::uint32_t kBusy = 1u << 31;
  using Sink = std::function<void(std::uint32_t word)>;

  RfSerialPort(Clock& clock, ChipFaults& faults, Clock::Duration wordTime)
      : clock_(clock), faults_(faults), wordTime_(wordTime) {}

  void install(RegisterSpace& mac);
  std::uint32_t read();
  void write(std::uint32_t value);
  std::uint32_t peek() const;
  void reset();

  // Receives every word shifted out (the radio side's synthesiser model).
  void setSink(Sink sink) { sink_ = std::move(sink); }
  // The last word shifted out and how many words went out since power-on.
  std::uint32_t lastWord() const { return lastWord_; }
  std::uint64_t wordCount() const { return wordCount_; }

 private:
  bool stuck() const { return faults_.busyStuck(BusyUnit::RfSerial); }

  Clock& clock_;
  ChipFaults& faults_;
  Clock::Duration wordTime_;
  BusyLatch latch_;
  std::uint32_t value_ = 0;
  std::uint32_t lastWord_ = 0;
  std::uint64_t wordCount_ = 0;
  Sink sink_;
};

}  // namespace kqa::chip
