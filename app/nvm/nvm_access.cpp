#include "app/nvm/nvm_access.h"

#include <algorithm>

#include "app/device/connection.h"
#include "app/device/efuse.h"
#include "app/device/messages.h"

namespace kqa::nvm {
namespace {

using device::ConfigMemoryBackEnd;

// EEPROM writes go in pieces, so that a long one shows its progress.
constexpr std::size_t kWritePiece = 64;

}  // namespace

page::Outcome OutcomeOf(device::NvmResult result) {
  switch (result) {
    case device::NvmResult::Ok: return page::Outcome::Done;
    case device::NvmResult::Cancelled: return page::Outcome::Cancelled;
    case device::NvmResult::NoDevice:
    case device::NvmResult::Failed: break;
  }
  return page::Outcome::Failed;
}

std::size_t NvmAccess::readableSize() const {
  return backEnd() == ConfigMemoryBackEnd::Buffer ? mode_.eepromImageSize : kNvmSpace;
}

std::size_t NvmAccess::writableSize() const {
  switch (backEnd()) {
    case ConfigMemoryBackEnd::Buffer: return mode_.eepromImageSize;
    case ConfigMemoryBackEnd::Efuse: return device::kEfuseLogicalSize;
    case ConfigMemoryBackEnd::Eeprom: break;
  }
  return kNvmSpace;
}

std::string_view NvmAccess::memoryName() const {
  switch (backEnd()) {
    case ConfigMemoryBackEnd::Buffer: return "EEPROM image";
    case ConfigMemoryBackEnd::Efuse: return "eFuse";
    case ConfigMemoryBackEnd::Eeprom: break;
  }
  return "EEPROM";
}

bool NvmAccess::fits(std::size_t offset, std::size_t count, std::size_t size) {
  if (offset + count <= size) return true;
  device_.prompt.showMessage(device::messages::OutOfRange(static_cast<std::uint32_t>(offset), count,
                                                          size, memoryName()));
  return false;
}

NvmAccess::Outcome NvmAccess::read(std::uint16_t offset, std::span<std::uint8_t> out) {
  if (!fits(offset, out.size(), readableSize())) return Outcome::Refused;
  if (onEfuse() && view == EfuseView::Physical) {
    if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
    return page::DoneIf(device::ReadEfusePhysicalBlock(device_, offset, out));
  }
  // The device layer routes the other back ends exactly as the pages do.
  return OutcomeOf(device::ReadEepromBlock(memory(), offset, out));
}

NvmAccess::Outcome NvmAccess::write(std::uint16_t offset, std::span<const std::uint8_t> data,
                                    EfuseQuestion question, const page::Progress& progress) {
  if (!fits(offset, data.size(), writableSize())) return Outcome::Refused;
  if (onEfuse()) {
    if (view == EfuseView::Physical) {
      device_.prompt.showMessage(
          "The physical view of the eFuse is for reading: eFuse writes go through the "
          "logical view, planned whole. Nothing was written.");
      return Outcome::Refused;
    }
    if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
    return BurnEfuse(memory(), offset, data, question, progress);
  }
  for (std::size_t done = 0; done < data.size();) {
    const std::size_t piece = std::min(kWritePiece, data.size() - done);
    const Outcome outcome = OutcomeOf(device::WriteEepromBlock(
        memory(), static_cast<std::uint16_t>(offset + done), data.subspan(done, piece)));
    if (outcome != Outcome::Done) return outcome;  // a failure stops the write once
    done += piece;
    page::Report(progress, done, data.size());
  }
  return Outcome::Done;
}

}  // namespace kqa::nvm
