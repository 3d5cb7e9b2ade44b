#include "app/device/tests/emulated_rig.h"

#include <algorithm>

#include "chip/firmware/firmware_image.h"

namespace kqa::device::testing {

EmulatedRig::EmulatedRig(chip::KestrelOptions options) {
  options.completions = chip::Completions::Thread;
  chip_ = std::make_unique<chip::Kestrel>(virtualClock_, std::move(options));
  backend_ = std::make_unique<usb::EmulatedUsbBackend>(*chip_, virtualClock_);
  host_ = std::make_unique<driver::DriverHost>(*backend_, virtualClock_);
}

void EmulatedRig::unplug() {
  chip_->unplug();
  backend_->waitHotplugIdle();
}

void EmulatedRig::replug() {
  chip_->replug();
  backend_->waitHotplugIdle();
}

bool EmulatedRig::startFirmware() {
  const chip::FirmwareImage image = chip::BuildKestrelFirmware();
  constexpr std::size_t kChunk = 1024;
  const auto load = [&](const std::vector<std::uint8_t>& memory, std::size_t from, std::uint32_t base) {
    for (std::size_t offset = from; offset < memory.size(); offset += kChunk) {
      const std::size_t length = std::min(kChunk, memory.size() - offset);
      chip_->pokeRegister(chip::Mcu::kDestinationRegister, static_cast<std::uint32_t>(base + offset),
                          chip::Space::Sys);
      chip_->pokeRegister(chip::Mcu::kLengthRegister, static_cast<std::uint32_t>(length << 16),
                          chip::Space::Sys);
      chip_->withRadio([&](chip::RadioSide& radio) {
        radio.mcu().download(std::span(memory).subspan(offset, length));
      });
    }
  };
  load(image.ilm, chip::FirmwareImage::kVectorBlockSize, 0);
  load(image.dlm, 0, chip::Mcu::kDlmBase);
  return chip_->withRadio([&](chip::RadioSide& radio) {
    return radio.mcu().start(std::span(image.ilm).first<chip::FirmwareImage::kVectorBlockSize>()) ==
           chip::Mcu::StartResult::Started;
  });
}

}  // namespace kqa::device::testing
