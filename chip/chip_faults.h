#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/usb/wire/usb_wire.h"

namespace kqa::chip {

// The units whose busy bit a test can hold up: the BBP, RF, RF serial and
// eFuse command ports, the DC-offset calibration (indirect index 0x8C bit 6)
// and the sensor converter (BBP R47 bit 4; its results never get ready).
enum class BusyUnit { Bbp, Rf, RfSerial, Efuse, DcOffset, Sensor };
inline constexpr std::size_t kBusyUnitCount = 6;

enum class ControlFault { Stall, Timeout };

// Which control transfers a fault hits; an empty field matches anything.
struct ControlMatch {
  std::optional<std::uint8_t> requestType = std::nullopt;  // bmRequestType
  std::optional<std::uint8_t> request = std::nullopt;      // bRequest
  std::optional<std::uint16_t> index = std::nullopt;       // wIndex (register address, EEPROM offset, ...)

  bool matches(const usb::SetupPacket& setup) const;
};

// Faults on demand, for tests. Every setter is safe from any thread and takes
// effect at the chip's next request; clear() returns to a healthy chip.
class ChipFaults {
 public:
  static constexpr int kAlways = -1;

  // The next `count` matching control transfers stall or time out (kAlways:
  // every matching one until cleared). A failed transfer has no effect on the
  // chip. Several rules may be active; the oldest matching one answers.
  void failControl(ControlFault fault, int count, ControlMatch match = {});
  void clearControlFaults();

  // A stuck busy bit never clears: the unit's operation never finishes.
  void setBusyStuck(BusyUnit unit, bool stuck);
  // Every operation of the unit shows busy for this many status reads before
  // it finishes (0, the default: it finishes at once).
  void setBusyReads(BusyUnit unit, int reads);

  // MAC 0x0000 answers 0xFFFFFFFF for the next `reads` reads (kAlways: until
  // cleared), as a chip does that is not up.
  void failIdentity(int reads = kAlways);

  // This eFuse bit never burns: programming it leaves it 0.
  void addWeakEfuseBit(std::uint16_t byteAddress, int bit);

  void clear();

  // Chip side.
  std::optional<ControlFault> takeControlFault(const usb::SetupPacket& setup);
  bool busyStuck(BusyUnit unit) const;
  int busyReads(BusyUnit unit) const;
  bool takeIdentityFailure();
  std::uint8_t weakEfuseBits(std::uint16_t byteAddress) const;

 private:
  struct ControlRule {
    ControlFault fault;
    int remaining;
    ControlMatch match;
  };

  mutable std::mutex mutex_;
  std::vector<ControlRule> controlRules_;
  std::array<bool, kBusyUnitCount> stuck_{};
  std::array<int, kBusyUnitCount> busyReads_{};
  int identityFailures_ = 0;
  std::set<std::pair<std::uint16_t, int>> weakBits_;
};

}  // namespace kqa::chip
