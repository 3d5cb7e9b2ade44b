#include "chip/vendor_requests.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"

namespace kqa::chip {

namespace {

using usb::TransferStatus;

VendorOutcome Stall() { return {{TransferStatus::Stall, 0}, false}; }
VendorOutcome Done(std::size_t length = 0) { return {{TransferStatus::Completed, length}, false}; }

bool Fits(const usb::SetupPacket& setup, std::size_t length) {
  return setup.wIndex + length <= RegisterSpace::kSize;
}

std::size_t FlashAddress(const usb::SetupPacket& setup) {
  return static_cast<std::size_t>(setup.wIndex) << 16 | setup.wValue;
}

VendorOutcome DeviceMode(ChipCore& core, const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  switch (setup.wValue) {
    case vendor::kModeSoftDisconnect:
      if (setup.wLength != 0) return Stall();
      return {{TransferStatus::Completed, 0}, true};
    case vendor::kModeFirmwareSource:
      if (setup.wLength != 0 || setup.wIndex > 1) return Stall();
      core.selectFirmwareSource(setup.wIndex == 1 ? ChipCore::FirmwareSource::Internal
                                                  : ChipCore::FirmwareSource::External);
      return Done();
    case vendor::kModeEight:
      return setup.wLength == 0 ? Done() : Stall();
    case vendor::kModeFirmwareReload: {
      if (setup.wLength != ChipCore::kVectorBlockSize) return Stall();
      ChipCore::VectorBlock vectors{};
      std::copy(data.begin(), data.end(), vectors.begin());
      core.reloadFirmware(vectors);
      return Done(data.size());
    }
    default:
      return Stall();
  }
}

VendorOutcome Word32(ChipCore& core, Space space, const usb::SetupPacket& setup, std::span<std::uint8_t> data,
                     bool read) {
  if (setup.wLength != 4 || !Fits(setup, 4)) return Stall();
  if (read) {
    core.space(space).readBytes(setup.wIndex, data);
  } else {
    core.space(space).writeBytes(setup.wIndex, data);
  }
  return Done(data.size());
}

VendorOutcome EepromWord(ChipCore& core, const usb::SetupPacket& setup, std::span<std::uint8_t> data, bool read) {
  if (setup.wLength != 2 || !Eeprom::WordFits(setup.wIndex)) return Stall();
  if (read) {
    PutLe16(data, 0, core.eeprom().readWord(setup.wIndex));
  } else {
    core.writeEepromWord(setup.wIndex, GetLe16(data, 0));
  }
  return Done(2);
}

VendorOutcome Out(ChipCore& core, const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  switch (setup.bRequest) {
    case vendor::kDeviceMode:
      return DeviceMode(core, setup, data);
    case vendor::kWrite16: {
      if (setup.wLength != 0 || !Fits(setup, 2)) return Stall();
      std::uint8_t half[2];
      PutLe16(half, 0, setup.wValue);
      core.mac().writeBytes(setup.wIndex, half);
      return Done();
    }
    case vendor::kWriteRegister:
      if (setup.wLength == 0 || !Fits(setup, setup.wLength)) return Stall();
      core.mac().writeBytes(setup.wIndex, data);
      return Done(data.size());
    case vendor::kWriteEeprom:
    case vendor::kWriteEeprom2:
      return EepromWord(core, setup, data, false);
    case vendor::kEraseFlashChip:
      if (setup.wValue != vendor::kChipEraseKey || setup.wIndex != vendor::kChipEraseKey || setup.wLength != 0)
        return Stall();
      core.eraseFlashChip();
      return Done();
    case vendor::kEraseFlashAt:
      if (setup.wLength != 0 || FlashAddress(setup) >= NorFlash::kSize) return Stall();
      core.eraseFlashSector(FlashAddress(setup) / NorFlash::kSectorSize);
      return Done();
    case vendor::kEraseFlashBlock:
      if (setup.wLength != 0 || setup.wIndex != 0 || setup.wValue >= NorFlash::kSectors) return Stall();
      core.eraseFlashSector(setup.wValue);
      return Done();
    case vendor::kWriteFlash:
      if (!NorFlash::Fits(FlashAddress(setup), data.size())) return Stall();
      if (!data.empty()) core.programFlash(FlashAddress(setup), data);
      return Done(data.size());
    case vendor::kWriteAlt:
      return Word32(core, Space::Alt, setup, data, false);
    case vendor::kWriteBase0:
      return Word32(core, Space::Base0, setup, data, false);
    case vendor::kWriteSys:
      return Word32(core, Space::Sys, setup, data, false);
    default:
      return Stall();
  }
}

VendorOutcome In(ChipCore& core, const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  switch (setup.bRequest) {
    case vendor::kReadRegister:
      if (setup.wLength == 0 || !Fits(setup, setup.wLength)) return Stall();
      core.mac().readBytes(setup.wIndex, data);
      return Done(data.size());
    case vendor::kReadEeprom:
    case vendor::kReadEeprom2:
      return EepromWord(core, setup, data, true);
    case vendor::kReadFlash:
      if (!NorFlash::Fits(FlashAddress(setup), data.size())) return Stall();
      core.flash().read(FlashAddress(setup), data);
      return Done(data.size());
    case vendor::kReadAlt:
      return Word32(core, Space::Alt, setup, data, true);
    case vendor::kReadBase0:
      return Word32(core, Space::Base0, setup, data, true);
    case vendor::kReadSys:
      return Word32(core, Space::Sys, setup, data, true);
    default:
      return Stall();
  }
}

}  // namespace

VendorOutcome HandleVendorRequest(ChipCore& core, const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  if (setup.bmRequestType == usb::kVendorOut) return Out(core, setup, data);
  if (setup.bmRequestType == usb::kVendorIn) return In(core, setup, data);
  return Stall();
}

}  // namespace kqa::chip
