#include "chip/chip_core.h"

namespace kqa::chip {

ChipCore::ChipCore(Clock& clock, ChipFaults& faults, Board board, std::uint16_t revision, const ChipTiming& timing,
                   const NvmState& nvm)
    : clock_(clock),
      faults_(faults),
      board_(board),
      revision_(revision),
      efuse_(nvm.efuse),
      eeprom_(nvm.eeprom),
      bbpPort_(clock, faults, bbp_, timing.bbpCommand),
      rfPort_(clock, faults, rf_, timing.rfCommand),
      rfSerialPort_(clock, faults, timing.rfSerialWord),
      efuseController_(clock, faults, efuse_, board == Board::Efuse, timing.efuseRead, timing.efuseProgram) {
  if (!nvm.flash.empty()) flash_.assign(nvm.flash);
  installRegisters();
  efuseController_.setBurnListener([this] { notify(Nvm::Efuse); });
}

void ChipCore::installRegisters() {
  // The identity is read-only; a chip that is not up answers all ones.
  mac_.map(kIdentityRegister, kIdentityRegister,
           {[this](std::uint16_t) { return faults_.takeIdentityFailure() ? 0xFFFFFFFFu : identity(); },
            [](std::uint16_t, std::uint32_t) {}, [this](std::uint16_t) { return identity(); }});
  efuseController_.install(mac_);
  rfPort_.install(mac_);
  bbpPort_.install(mac_);
  rfSerialPort_.install(mac_);
  memory_.install();
}

RegisterSpace& ChipCore::space(Space space) {
  switch (space) {
    case Space::Mac: return mac_;
    case Space::Sys: return sys_;
    case Space::Base0: return base0_;
    case Space::Alt: return alt_;
  }
  return mac_;
}

void ChipCore::writeEepromWord(std::size_t offset, std::uint16_t value) {
  if (eeprom_.writeWord(offset, value)) notify(Nvm::Eeprom);
}

void ChipCore::programFlash(std::size_t address, std::span<const std::uint8_t> data) {
  flash_.program(address, data);
  notify(Nvm::Flash);
}

void ChipCore::eraseFlashSector(std::size_t sector) {
  flash_.eraseSector(sector);
  notify(Nvm::Flash);
}

void ChipCore::eraseFlashChip() {
  flash_.eraseChip();
  notify(Nvm::Flash);
}

NvmState ChipCore::nvmState() const { return {board_, eeprom_.bytes(), efuse_.bytes(), flash_.bytes()}; }

void ChipCore::reloadFirmware(const VectorBlock& vectors) {
  lastVectorBlock_ = vectors;
  if (firmwareReloadHandler_) firmwareReloadHandler_(vectors);
}

void ChipCore::powerOnReset() {
  for (RegisterSpace* space : {&mac_, &sys_, &base0_, &alt_}) space->clearStorage();
  bbp_.reset();
  rf_.reset();
  bbpPort_.reset();
  rfPort_.reset();
  rfSerialPort_.reset();
  efuseController_.reset();
  memory_.reset();
  lastVectorBlock_.reset();
  firmwareSource_ = FirmwareSource::External;
}

}  // namespace kqa::chip
