#pragma once

#include <cstdint>
#include <span>

#include "chip/chip_core.h"
#include "platform/usb/wire/usb_wire.h"

namespace kqa::chip {

// The vendor requests the chip answers (bmRequestType 0x40 for OUT, 0xC0 for
// IN, recipient device). Anything else, or a request with the wrong
// direction, wValue, wIndex or length, stalls and changes nothing.
namespace vendor {
inline constexpr std::uint8_t kDeviceMode = 0x01;       // OUT, wValue mode, wIndex, none or 64 bytes
inline constexpr std::uint8_t kWrite16 = 0x02;          // OUT, wValue = value, wIndex = address
inline constexpr std::uint8_t kWriteRegister = 0x06;    // OUT, wIndex address, 1..N bytes
inline constexpr std::uint8_t kReadRegister = 0x07;     // IN, wIndex address, 1..N bytes
inline constexpr std::uint8_t kWriteEeprom = 0x08;      // OUT, wIndex byte offset, 2 bytes
inline constexpr std::uint8_t kReadEeprom = 0x09;       // IN, wIndex byte offset, 2 bytes
inline constexpr std::uint8_t kWriteEeprom2 = 0x0A;     // second path
inline constexpr std::uint8_t kReadEeprom2 = 0x0B;      // second path
inline constexpr std::uint8_t kEraseFlashChip = 0x0C;   // OUT, wValue = wIndex = 0xAAAA
inline constexpr std::uint8_t kEraseFlashAt = 0x0D;     // OUT, address = wIndex << 16 | wValue
inline constexpr std::uint8_t kWriteFlash = 0x0E;       // OUT, address as 0x0D, N bytes
inline constexpr std::uint8_t kReadFlash = 0x0F;        // IN, address as 0x0D, N bytes
inline constexpr std::uint8_t kEraseFlashBlock = 0x10;  // OUT, wValue = block (64 KB sector)
inline constexpr std::uint8_t kWriteAlt = 0x16;         // 4 bytes each, in their spaces
inline constexpr std::uint8_t kReadAlt = 0x17;
inline constexpr std::uint8_t kWriteBase0 = 0x26;
inline constexpr std::uint8_t kReadBase0 = 0x27;
inline constexpr std::uint8_t kWriteSys = 0x46;
inline constexpr std::uint8_t kReadSys = 0x47;

// Device modes (wValue of kDeviceMode).
inline constexpr std::uint16_t kModeSoftDisconnect = 2;
inline constexpr std::uint16_t kModeFirmwareSource = 6;  // wIndex 0 external, 1 internal flash
inline constexpr std::uint16_t kModeEight = 8;           // acknowledged, no effect
inline constexpr std::uint16_t kModeFirmwareReload = 0x12;  // 64-byte vector block

inline constexpr std::uint16_t kChipEraseKey = 0xAAAA;
}  // namespace vendor

struct VendorOutcome {
  usb::TransferResult result;
  // The chip drops off the bus after the status stage and comes back.
  bool softDisconnect = false;
};

// Carries out one vendor request; `data` is the data stage, wLength bytes.
VendorOutcome HandleVendorRequest(ChipCore& core, const usb::SetupPacket& setup, std::span<std::uint8_t> data);

}  // namespace kqa::chip
