#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/device/register_access.h"

namespace kqa::registers {

// The three windows on the chip's 32-bit registers. The MAC page names them
// by their labels, kestrelqa-cli and the register scripts by a word.
enum class RegisterWindow {
  Mac,       // "0x410000", "mac": ReadMacRegister / WriteMacRegister
  Sys,       // "0x400000", "sys": ReadSysRegister / WriteSysRegister
  Absolute,  // "0x00000000", "abs": ReadAbsRegister / WriteAbsRegister
};

// "mac", "sys" or "abs" (any case); nullopt for anything else.
std::optional<RegisterWindow> RegisterWindowNamed(std::string_view word);
std::string_view RegisterWindowWord(RegisterWindow window);

// One access through the window's pair of operations. A failed read leaves
// what RegisterAccess leaves (kFailedReadValue); false as RegisterAccess says.
bool ReadWindowRegister(device::RegisterAccess& registers, RegisterWindow window,
                        std::uint32_t address, std::uint32_t& value);
bool WriteWindowRegister(device::RegisterAccess& registers, RegisterWindow window,
                         std::uint32_t address, std::uint32_t value);

}  // namespace kqa::registers
