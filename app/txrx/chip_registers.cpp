#include "app/txrx/chip_registers.h"

namespace kqa::txrx {

using device::kRegisterRead;
using device::kRegisterWrite;

std::uint32_t ChipRegisters::mac(std::uint32_t offset) {
  std::uint32_t value = device::kFailedReadValue;
  if (!access_.ReadMacRegister(offset, value)) return device::kFailedReadValue;
  return value;
}

bool ChipRegisters::setMac(std::uint32_t offset, std::uint32_t value) {
  return access_.WriteMacRegister(offset, value);
}

bool ChipRegisters::updateMac(std::uint32_t offset, std::uint32_t keep, std::uint32_t set) {
  std::uint32_t value = 0;
  if (!access_.ReadMacRegister(offset, value)) return false;
  return access_.WriteMacRegister(offset, (value & keep) | set);
}

bool ChipRegisters::sys(std::uint32_t offset, std::uint32_t& value) {
  return access_.ReadSysRegister(offset, value);
}

bool ChipRegisters::readBbp(std::uint8_t id, std::uint8_t& value) {
  return access_.AccessBbpRegister(kRegisterRead, id, value);
}

std::uint8_t ChipRegisters::bbp(std::uint8_t id) {
  std::uint8_t value = 0xFF;
  if (!readBbp(id, value)) return 0xFF;
  return value;
}

bool ChipRegisters::setBbp(std::uint8_t id, std::uint8_t value) {
  return access_.AccessBbpRegister(kRegisterWrite, id, value);
}

bool ChipRegisters::updateBbp(std::uint8_t id, std::uint8_t keep, std::uint8_t set) {
  std::uint8_t value = 0;
  if (!readBbp(id, value)) return false;
  return setBbp(id, static_cast<std::uint8_t>((value & keep) | set));
}

bool ChipRegisters::setBbpIndirect(std::uint8_t index, std::uint8_t value) {
  return setBbp(195, index) && setBbp(196, value);
}

bool ChipRegisters::pulseBbpR21() {
  if (!updateBbp(21, 0xFF, 0x01)) return false;
  device_.clock.sleepMs(1);
  return updateBbp(21, 0xFE, 0x00);
}

std::uint8_t ChipRegisters::rf(std::uint8_t bank, std::uint8_t reg) {
  std::uint8_t value = 0xFF;
  if (!access_.AccessRfRegister(kRegisterRead, bank, reg, value)) return 0xFF;
  return value;
}

bool ChipRegisters::setRf(std::uint8_t bank, std::uint8_t reg, std::uint8_t value) {
  return access_.AccessRfRegister(kRegisterWrite, bank, reg, value);
}

bool ChipRegisters::updateRf(std::uint8_t bank, std::uint8_t reg, std::uint8_t keep, std::uint8_t set) {
  std::uint8_t value = 0;
  if (!access_.AccessRfRegister(kRegisterRead, bank, reg, value)) return false;
  return setRf(bank, reg, static_cast<std::uint8_t>((value & keep) | set));
}

}  // namespace kqa::txrx
