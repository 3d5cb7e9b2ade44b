#include "chip/bbp_registers.h"

namespace kqa::chip {

std::uint8_t BbpRegisters::read(std::uint8_t id) {
  if (hooks_[id].read) return hooks_[id].read(id);
  return stored(id);
}

void BbpRegisters::write(std::uint8_t id, std::uint8_t value) {
  if (hooks_[id].write) {
    hooks_[id].write(id, value);
  } else {
    store(id, value);
  }
}

std::uint8_t BbpRegisters::stored(std::uint8_t id) const {
  if (id == kPerPathGain) return perPathGain_[static_cast<std::size_t>(selectedPath())];
  return registers_[id];
}

void BbpRegisters::store(std::uint8_t id, std::uint8_t value) {
  if (id == kPerPathGain) {
    perPathGain_[static_cast<std::size_t>(selectedPath())] = value;
  } else {
    registers_[id] = value;
  }
}

void BbpRegisters::reset() {
  registers_.fill(0);
  perPathGain_.fill(0);
}

}  // namespace kqa::chip
