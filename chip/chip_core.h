#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "chip/bbp_registers.h"
#include "chip/chip_faults.h"
#include "chip/command_ports.h"
#include "chip/eeprom.h"
#include "chip/efuse.h"
#include "chip/efuse_controller.h"
#include "chip/kestrel_options.h"
#include "chip/memory_windows.h"
#include "chip/nor_flash.h"
#include "chip/register_space.h"
#include "chip/rf_registers.h"
#include "chip/state_file.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The register spaces the vendor requests reach: 0x06/0x07/0x02 the MAC
// space ("0x410000"), 0x46/0x47 SYS ("0x400000"), 0x26/0x27 the
// "0x00000000" space, 0x16/0x17 the alternate space.
enum class Space { Mac, Sys, Base0, Alt };

// Everything inside the chip that is not USB: its register spaces, the BBP
// and RF register files behind their command ports, the eFuse and its
// controller, the external EEPROM and NOR flash, and the MCU-facing hooks.
// It is the extension point for the radio side (Kestrel::withCore): all of it
// runs under the chip's one lock.
class ChipCore {
 public:
  static constexpr std::uint16_t kIdentityRegister = 0x0000;
  static constexpr std::uint32_t kKestrelIdentity = 0x5EC70000;
  static constexpr std::size_t kVectorBlockSize = 64;
  using VectorBlock = std::array<std::uint8_t, kVectorBlockSize>;

  enum class Nvm { Eeprom, Efuse, Flash };
  // Firmware source of the device-mode request 6: external or internal flash.
  enum class FirmwareSource { External = 0, Internal = 1 };

  ChipCore(Clock& clock, ChipFaults& faults, Board board, std::uint16_t revision, const ChipTiming& timing,
           const NvmState& nvm);
  ChipCore(const ChipCore&) = delete;
  ChipCore& operator=(const ChipCore&) = delete;

  Clock& clock() { return clock_; }
  const ChipFaults& faults() const { return faults_; }
  Board board() const { return board_; }
  std::uint32_t identity() const { return kKestrelIdentity | revision_; }

  RegisterSpace& space(Space space);
  RegisterSpace& mac() { return mac_; }
  BbpRegisters& bbp() { return bbp_; }
  RfRegisters& rf() { return rf_; }
  RfSerialPort& rfSerial() { return rfSerialPort_; }
  MemoryWindows& memory() { return memory_; }
  const Efuse& efuse() const { return efuse_; }
  const Eeprom& eeprom() const { return eeprom_; }
  const NorFlash& flash() const { return flash_; }

  // NVM changes go through these, so that every change is persisted.
  void writeEepromWord(std::size_t offset, std::uint16_t value);
  void programFlash(std::size_t address, std::span<const std::uint8_t> data);
  void eraseFlashSector(std::size_t sector);
  void eraseFlashChip();
  // Called under the chip's lock after each change.
  void setNvmListener(std::function<void(Nvm)> listener) { nvmListener_ = std::move(listener); }
  NvmState nvmState() const;

  // Device-mode request 0x12: the 64-byte vector block that starts the MCU.
  // The handler (the radio side's MCU) receives it; by default the chip only
  // keeps it.
  void setFirmwareReloadHandler(std::function<void(const VectorBlock&)> handler) {
    firmwareReloadHandler_ = std::move(handler);
  }
  void reloadFirmware(const VectorBlock& vectors);
  const std::optional<VectorBlock>& lastVectorBlock() const { return lastVectorBlock_; }
  // Device-mode request 6.
  void selectFirmwareSource(FirmwareSource source) { firmwareSource_ = source; }
  FirmwareSource firmwareSource() const { return firmwareSource_; }

  // A power cycle: registers, register files, memories and ports return to
  // their power-on values; the NVM keeps its content.
  void powerOnReset();

 private:
  void installRegisters();
  void notify(Nvm nvm) {
    if (nvmListener_) nvmListener_(nvm);
  }

  Clock& clock_;
  ChipFaults& faults_;
  const Board board_;
  const std::uint16_t revision_;

  RegisterSpace mac_{"MAC"};
  RegisterSpace sys_{"SYS"};
  RegisterSpace base0_{"0x00000000"};
  RegisterSpace alt_{"alternate"};
  BbpRegisters bbp_;
  RfRegisters rf_;
  Efuse efuse_;
  Eeprom eeprom_;
  NorFlash flash_;

  BbpCommandPort bbpPort_;
  RfCommandPort rfPort_;
  RfSerialPort rfSerialPort_;
  EfuseController efuseController_;
  MemoryWindows memory_{mac_};

  std::function<void(Nvm)> nvmListener_;
  std::function<void(const VectorBlock&)> firmwareReloadHandler_;
  std::optional<VectorBlock> lastVectorBlock_;
  FirmwareSource firmwareSource_ = FirmwareSource::External;
};

}  // namespace kqa::chip
