#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace kqa::chip {

// The 256 eight-bit baseband (BBP) registers behind MAC 0x101C. R66 (the RX
// gain) exists once per receive path: bits 5-6 of R27 select the path that
// reads and writes of R66 reach. Registers can get hooks for behaviour (the
// radio side's temperature sensor, predistortion tables, ...).
class BbpRegisters {
 public:
  static constexpr std::uint8_t kPathSelect = 27;
  static constexpr std::uint8_t kPerPathGain = 66;
  static constexpr int kPaths = 4;  // R27 bits 5-6 give 0..3

  struct Hook {
    std::function<std::uint8_t(std::uint8_t id)> read;              // empty: storage
    std::function<void(std::uint8_t id, std::uint8_t value)> write;  // empty: storage
  };

  BbpRegisters() { reset(); }

  // What a BBP read and write command does.
  std::uint8_t read(std::uint8_t id);
  void write(std::uint8_t id, std::uint8_t value);

  // Storage, without hooks; R66 of the path R27 selects.
  std::uint8_t stored(std::uint8_t id) const;
  void store(std::uint8_t id, std::uint8_t value);
  std::uint8_t gainOfPath(int path) const { return perPathGain_.at(static_cast<std::size_t>(path)); }
  int selectedPath() const { return (registers_[kPathSelect] >> 5) & 3; }

  void setHook(std::uint8_t id, Hook hook) { hooks_[id] = std::move(hook); }

  // Power-on values (all 0).
  void reset();

 private:
  std::array<std::uint8_t, 256> registers_{};
  std::array<std::uint8_t, kPaths> perPathGain_{};
  std::array<Hook, 256> hooks_;
};

}  // namespace kqa::chip
