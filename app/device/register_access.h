#pragma once

#include <cstdint>
#include <span>

#include "app/device/device_context.h"

namespace kqa::device {

// MAC command registers of the two indirect register files.
inline constexpr std::uint32_t kBbpCommandRegister = 0x101C;
inline constexpr std::uint32_t kRfCommandRegister = 0x0500;
inline constexpr std::uint32_t kBbpBusyBit = 1u << 17;
inline constexpr std::uint32_t kRfBusyBit = 1u << 31;
inline constexpr std::uint32_t kFailedReadValue = 0xFFFFFFFF;
inline constexpr std::uint32_t kKestrelAsicVersion = 0x5EC70000;

// Operation codes of AccessBbpRegister and AccessRfRegister.
inline constexpr int kRegisterRead = 0;
inline constexpr int kRegisterWrite = 1;

// The chip's registers: 32-bit registers in three address windows, a block
// read of chip memory, and the 8-bit BBP and RF registers behind their
// command registers. Holds nothing but the context; make one where needed:
//
//   RegisterAccess(device).ReadMacRegister(0x1004, value);
//
// Every operation first makes sure a connection is open and does nothing,
// silently, when none can be; a failed call shows "DeviceIoControl read
// failed!" or "DeviceIoControl write failed!". The result is true when every
// control code it sent succeeded (callers may ignore it); a failed read
// yields 0xFFFFFFFF.
//
// Threads: safe to use from the UI thread and the capture worker at once.
// A BBP or RF access is several calls on one command register; the two
// threads' sequences are kept apart by the context's indirect-register lock.
class RegisterAccess {
 public:
  explicit RegisterAccess(DeviceContext& device) : device_(device) {}

  // The "0x410000" window (control codes 0x223480 / 0x223484). A write of
  // 0x13B0 on a Kestrel goes through WriteMacRegisterAlt.
  bool ReadMacRegister(std::uint32_t offset, std::uint32_t& value, std::uint32_t length = 4);
  bool WriteMacRegister(std::uint32_t offset, std::uint32_t value, std::uint32_t length = 4);
  // Writes through control code 0x2234DC (two 16-bit halves).
  bool WriteMacRegisterAlt(std::uint32_t offset, std::uint32_t value, std::uint32_t length = 4);
  // The "0x400000" window (0x22352C / 0x223528).
  bool ReadSysRegister(std::uint32_t offset, std::uint32_t& value, std::uint32_t length = 4);
  bool WriteSysRegister(std::uint32_t offset, std::uint32_t value, std::uint32_t length = 4);
  // The "0x00000000" window (0x223520 / 0x223518).
  bool ReadAbsRegister(std::uint32_t offset, std::uint32_t& value, std::uint32_t length = 4);
  bool WriteAbsRegister(std::uint32_t offset, std::uint32_t value, std::uint32_t length = 4);

  // destination.size() bytes of chip memory from `offset` (0x223498); on
  // failure the buffer keeps what it held.
  bool ReadMemoryBlock(std::uint32_t offset, std::span<std::uint8_t> destination);

  // Busy polling on a command register: up to 10 reads without delay until
  // the busy bit clears. The poll-reads return the last value read; the
  // poll-writes write afterwards, also when the bit never cleared. A read
  // that fails ends the poll: the operation fails without a write.
  bool ReadWhenBbpIdle(std::uint32_t offset, std::uint32_t& value, std::uint32_t length = 4);
  bool WriteWhenBbpIdle(std::uint32_t offset, std::uint32_t value, std::uint32_t length = 4);
  bool ReadWhenRfIdle(std::uint32_t offset, std::uint32_t& value, std::uint32_t length = 4);
  bool WriteWhenRfIdle(std::uint32_t offset, std::uint32_t value, std::uint32_t length = 4);

  // BBP register `id`: kRegisterRead reads into `value`, kRegisterWrite
  // writes it. A write of R66 is repeated for each receive path (low nibble
  // of eepromWord34, 1..3) selected through R27; other path counts write
  // nothing. Any other operation does nothing.
  bool AccessBbpRegister(int operation, std::uint8_t id, std::uint8_t& value);
  // RF register `reg` (6 bits) of `bank` (4 bits).
  bool AccessRfRegister(int operation, std::uint8_t bank, std::uint8_t reg, std::uint8_t& value);

  // The system error of this object's last failed operation: 1167 when the
  // device is gone (or no connection could be opened), else the driver's
  // error (31 for an answer that came back short). A script or a command
  // uses it to tell an unplugged chip from a failed access; it is this
  // object's own, so give each thread its own RegisterAccess.
  Win32Error lastError() const { return lastError_; }

 private:
  bool Fail(Win32Error error) {
    lastError_ = error;
    return false;
  }
  // A BBP or RF sequence whose bracket could not be had (register_sequence.h).
  bool SequenceRefused();
  bool Read32(std::uint32_t code, std::uint32_t offset, std::uint32_t& value, std::uint32_t length);
  bool Write32(std::uint32_t code, std::uint32_t offset, std::uint32_t value);
  bool ReadWhenIdle(std::uint32_t busyBit, std::uint32_t offset, std::uint32_t& value,
                    std::uint32_t length);
  bool WriteWhenIdle(std::uint32_t busyBit, std::uint32_t offset, std::uint32_t value,
                     std::uint32_t length);
  bool BbpRead(std::uint8_t id, std::uint8_t& value);
  bool BbpWrite(std::uint8_t id, std::uint8_t value);
  bool WriteR66PerPath(std::uint8_t value);

  DeviceContext& device_;
  Win32Error lastError_ = ERROR_SUCCESS;
};

}  // namespace kqa::device
