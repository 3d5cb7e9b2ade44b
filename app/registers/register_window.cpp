#include "app/registers/register_window.h"

#include <array>
#include <cctype>

namespace kqa::registers {
namespace {

constexpr std::array<std::pair<RegisterWindow, std::string_view>, 3> kWords = {{
    {RegisterWindow::Mac, "mac"},
    {RegisterWindow::Sys, "sys"},
    {RegisterWindow::Absolute, "abs"},
}};

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

}  // namespace

std::optional<RegisterWindow> RegisterWindowNamed(std::string_view word) {
  for (const auto& [window, name] : kWords)
    if (SameWord(word, name)) return window;
  return std::nullopt;
}

std::string_view RegisterWindowWord(RegisterWindow window) {
  for (const auto& [each, name] : kWords)
    if (each == window) return name;
  return {};
}

bool ReadWindowRegister(device::RegisterAccess& registers, RegisterWindow window,
                        std::uint32_t address, std::uint32_t& value) {
  switch (window) {
    case RegisterWindow::Mac:
      return registers.ReadMacRegister(address, value);
    case RegisterWindow::Sys:
      return registers.ReadSysRegister(address, value);
    case RegisterWindow::Absolute:
      return registers.ReadAbsRegister(address, value);
  }
  return false;
}

bool WriteWindowRegister(device::RegisterAccess& registers, RegisterWindow window,
                         std::uint32_t address, std::uint32_t value) {
  switch (window) {
    case RegisterWindow::Mac:
      return registers.WriteMacRegister(address, value);
    case RegisterWindow::Sys:
      return registers.WriteSysRegister(address, value);
    case RegisterWindow::Absolute:
      return registers.WriteAbsRegister(address, value);
  }
  return false;
}

}  // namespace kqa::registers
