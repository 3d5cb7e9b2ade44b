#include "chip/rf_registers.h"

namespace kqa::chip {

std::uint8_t RfRegisters::read(int bank, int reg) {
  const auto& hook = hooks_[Index(bank, reg)];
  if (hook.read) return hook.read(bank & 0xF, reg & 0x3F);
  return stored(bank, reg);
}

void RfRegisters::write(int bank, int reg, std::uint8_t value) {
  const auto& hook = hooks_[Index(bank, reg)];
  if (hook.write) {
    hook.write(bank & 0xF, reg & 0x3F, value);
  } else {
    store(bank, reg, value);
  }
}

void RfRegisters::reset() { registers_.fill(0); }

}  // namespace kqa::chip
