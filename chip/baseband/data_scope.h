#pragma once

#include <array>
#include <cstdint>

#include "chip/baseband/signal_view.h"
#include "chip/chip_core.h"

namespace kqa::chip {

// The data scope port: MAC 0x05F8 bit 0 enables it; every write to 0x05F8
// with bit 0 set rewinds the port to byte 0 and takes a fresh snapshot of
// 8192 I samples of the receiver (8-bit, what the capture engine would
// record). While enabled, each read of MAC 0x05FC returns the next snapshot
// byte in bits 0-7 (wrapping after 8192), and each write stores its bits 0-7
// as the next byte of the playback memory. Disabled, reads give 0 and writes
// are dropped.
class DataScope {
 public:
  static constexpr std::uint16_t kControl = 0x05F8;
  static constexpr std::uint16_t kPort = 0x05FC;
  static constexpr std::size_t kBytes = 8192;

  DataScope(ChipCore& core, const SignalView& signal);

  const std::array<std::uint8_t, kBytes>& snapshot() const { return snapshot_; }
  const std::array<std::uint8_t, kBytes>& playback() const { return playback_; }
  void reset();

 private:
  bool enabled() const { return (core_.mac().stored(kControl) & 1) != 0; }

  ChipCore& core_;
  const SignalView& signal_;
  std::array<std::uint8_t, kBytes> snapshot_{};
  std::array<std::uint8_t, kBytes> playback_{};
  std::size_t position_ = 0;
};

}  // namespace kqa::chip
