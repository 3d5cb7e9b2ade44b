#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace kqa::chip {

// The RF transceiver's registers behind MAC 0x0500: 16 banks of 64 eight-bit
// registers, with hooks like the BBP's.
class RfRegisters {
 public:
  static constexpr int kBanks = 16;
  static constexpr int kRegistersPerBank = 64;

  struct Hook {
    std::function<std::uint8_t(int bank, int reg)> read;
    std::function<void(int bank, int reg, std::uint8_t value)> write;
  };

  RfRegisters() { reset(); }

  std::uint8_t read(int bank, int reg);
  void write(int bank, int reg, std::uint8_t value);
  std::uint8_t stored(int bank, int reg) const { return registers_[Index(bank, reg)]; }
  void store(int bank, int reg, std::uint8_t value) { registers_[Index(bank, reg)] = value; }
  void setHook(int bank, int reg, Hook hook) { hooks_[Index(bank, reg)] = std::move(hook); }
  void reset();

 private:
  // Out-of-range numbers are masked to 4 and 6 bits, as the command word does.
  static std::size_t Index(int bank, int reg) {
    return static_cast<std::size_t>((bank & 0xF) * kRegistersPerBank + (reg & 0x3F));
  }

  std::array<std::uint8_t, kBanks * kRegistersPerBank> registers_{};
  std::array<Hook, kBanks * kRegistersPerBank> hooks_;
};

}  // namespace kqa::chip
