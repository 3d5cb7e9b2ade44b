#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/device/register_access.h"

namespace kqa::device {

// The register numbers the chip has, checked once for every command and
// script that takes them from the user. The driver passes a register's
// address to the chip as a 16-bit field, so a larger address would reach
// some other register; the BBP has 256 registers, the RF 16 banks of 64.

// The three 32-bit register windows, by the labels the MAC page shows.
enum class RegisterWindow {
  Mac,       // "0x410000", the script keyword MAC
  Sys,       // "0x400000", SYS
  Absolute,  // "0x00000000"
};
inline constexpr std::uint32_t kRegisterWindowSize = 0x10000;  // addresses 0x0000-0xFFFF
inline constexpr int kBbpRegisterCount = 256;
inline constexpr int kRfBankCount = 16;
inline constexpr int kRfRegisterCount = 64;

// "MAC", "SYS", "ABS".
std::string_view WindowName(RegisterWindow window);

// Why a number is out of range, or nullopt when it is in: e.g. "must be
// from 0 to 255, not 300". The caller puts the field's name in front
// ("BBP register must be ...", "ID must be ...").
std::optional<std::string> OutsideRange(long long value, long long first, long long last);
// "must lie in the MAC window 0x0000-0xFFFF, not 0x11314".
std::optional<std::string> OutsideWindow(RegisterWindow window, std::uint32_t address);

// 32-bit register access by window.
bool ReadRegister(RegisterAccess& registers, RegisterWindow window, std::uint32_t address,
                  std::uint32_t& value);
bool WriteRegister(RegisterAccess& registers, RegisterWindow window, std::uint32_t address,
                   std::uint32_t value);

}  // namespace kqa::device
