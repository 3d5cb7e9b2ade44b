#include "app/device/register_limits.h"

#include "app/device/text_format.h"

namespace kqa::device {

std::string_view WindowName(RegisterWindow window) {
  switch (window) {
    case RegisterWindow::Mac: return "MAC";
    case RegisterWindow::Sys: return "SYS";
    case RegisterWindow::Absolute: return "ABS";
  }
  return "?";
}

std::optional<std::string> OutsideRange(long long value, long long first, long long last) {
  if (value >= first && value <= last) return std::nullopt;
  return Format("must be from %lld to %lld, not %lld", first, last, value);
}

std::optional<std::string> OutsideWindow(RegisterWindow window, std::uint32_t address) {
  if (address < kRegisterWindowSize) return std::nullopt;
  const std::string_view name = WindowName(window);
  return Format("must lie in the %.*s window 0x0000-0x%04X, not 0x%X", static_cast<int>(name.size()),
                name.data(), kRegisterWindowSize - 1, address);
}

bool ReadRegister(RegisterAccess& registers, RegisterWindow window, std::uint32_t address,
                  std::uint32_t& value) {
  switch (window) {
    case RegisterWindow::Mac: return registers.ReadMacRegister(address, value);
    case RegisterWindow::Sys: return registers.ReadSysRegister(address, value);
    case RegisterWindow::Absolute: return registers.ReadAbsRegister(address, value);
  }
  return false;
}

bool WriteRegister(RegisterAccess& registers, RegisterWindow window, std::uint32_t address,
                   std::uint32_t value) {
  switch (window) {
    case RegisterWindow::Mac: return registers.WriteMacRegister(address, value);
    case RegisterWindow::Sys: return registers.WriteSysRegister(address, value);
    case RegisterWindow::Absolute: return registers.WriteAbsRegister(address, value);
  }
  return false;
}

}  // namespace kqa::device
