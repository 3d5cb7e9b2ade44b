// C. EEPROM, D. flash and device modes, E. firmware and chip control.
#include <cstdint>

#include "driver/control_request.h"
#include "driver/vendor_requests.h"

namespace kqa::driver::actions {
namespace {

constexpr std::uint8_t kDeviceMode = 0x01;
constexpr std::uint16_t kTxControl = 0x0238;
constexpr std::uint32_t kMultiFrameBit = 1u << 21;

std::uint32_t RoundUp2(std::uint32_t value) { return (value + 1) & ~std::uint32_t{1}; }

// Two bytes per request, from `offset` on, into the buffer from 0.
NtStatus EepromReadWith(DeviceState& dx, ControlRequest& request, std::uint8_t bRequest) {
  const std::uint16_t offset = request.u16(0);
  const std::uint16_t byteCount = request.u16(2);
  if (RoundUp2(byteCount) > request.OutputLength) return kShortOutput;
  for (std::uint32_t i = 0; i < byteCount; i += 2)
    VendorRead(dx, bRequest, 0, static_cast<std::uint16_t>(offset + i), request.Buffer.subspan(i, 2));
  request.Information = RoundUp2(byteCount);
  return STATUS_SUCCESS;
}

NtStatus EepromWriteWith(DeviceState& dx, ControlRequest& request, std::uint8_t bRequest) {
  const std::uint16_t offset = request.u16(0);
  const std::uint16_t byteCount = request.u16(2);
  if (4 + RoundUp2(byteCount) > request.InputLength) return kShortInput;
  for (std::uint32_t i = 0; i < byteCount; i += 2)
    VendorWrite(dx, bRequest, 0, static_cast<std::uint16_t>(offset + i), request.Buffer.subspan(4 + i, 2));
  return STATUS_SUCCESS;
}

// A 32-bit flash address travels as wValue (bits 0-15) and wIndex (16-31).
std::uint16_t Low(std::uint32_t address) { return static_cast<std::uint16_t>(address & 0xFFFF); }
std::uint16_t High(std::uint32_t address) { return static_cast<std::uint16_t>(address >> 16); }

NtStatus DeviceMode(DeviceState& dx, std::uint16_t mode, std::uint16_t index) {
  VendorWrite(dx, kDeviceMode, mode, index, {});
  return STATUS_SUCCESS;
}

}  // namespace

NtStatus UsbEepromRead(DeviceState& dx, ControlRequest& request) { return EepromReadWith(dx, request, 0x09); }
NtStatus UsbEepromWrite(DeviceState& dx, ControlRequest& request) { return EepromWriteWith(dx, request, 0x08); }
NtStatus EepromRead(DeviceState& dx, ControlRequest& request) { return EepromReadWith(dx, request, 0x0B); }
NtStatus EepromWrite(DeviceState& dx, ControlRequest& request) { return EepromWriteWith(dx, request, 0x0A); }

NtStatus EraseFlash(DeviceState& dx, ControlRequest& request) {
  const std::uint32_t address = request.u32(0);
  VendorWrite(dx, 0x0D, Low(address), High(address), {});
  return STATUS_SUCCESS;
}

NtStatus WriteFlash(DeviceState& dx, ControlRequest& request) {
  const std::uint32_t address = request.u32(0);
  const std::uint16_t length = request.u16(4);
  if (8u + length > request.InputLength) return kShortInput;
  VendorWrite(dx, 0x0E, Low(address), High(address), request.Buffer.subspan(8, length));
  return STATUS_SUCCESS;
}

NtStatus ReadFlash(DeviceState& dx, ControlRequest& request) {
  const std::uint32_t address = request.u32(0);
  const std::uint32_t length = request.u32(4);
  if (length > request.OutputLength) return kShortOutput;
  VendorRead(dx, 0x0F, Low(address), High(address), request.Buffer.first(length & 0xFFFF));
  request.Information = length;
  return STATUS_SUCCESS;
}

NtStatus EraseFlashBlock(DeviceState& dx, ControlRequest& request) {
  VendorWrite(dx, 0x10, request.u16(0), 0, {});
  return STATUS_SUCCESS;
}

NtStatus EraseFlashChip(DeviceState& dx, ControlRequest&) {
  VendorWrite(dx, 0x0C, 0xAAAA, 0xAAAA, {});
  return STATUS_SUCCESS;
}

NtStatus SetFlashWidth(DeviceState& dx, ControlRequest& request) {
  dx.FlashWidth = request.u32(0);  // kept only; the flash requests do not depend on it
  return STATUS_SUCCESS;
}

NtStatus SelectFlash(DeviceState& dx, ControlRequest& request) {
  return DeviceMode(dx, 6, request.u16(0) == 1 ? 1 : 0);
}

NtStatus Mode2(DeviceState& dx, ControlRequest&) { return DeviceMode(dx, 2, 0); }
NtStatus Mode8(DeviceState& dx, ControlRequest&) { return DeviceMode(dx, 8, 0); }

NtStatus FirmwareReload(DeviceState& dx, ControlRequest& request) {
  VendorWrite(dx, kDeviceMode, 0x12, 0, request.Buffer.first(64));
  request.Information = 64;  // the 64 input bytes, unchanged
  return STATUS_SUCCESS;
}

NtStatus GetFirmwareVersion(DeviceState& dx, ControlRequest& request) {
  request.putU32(0, dx.FirmwareVersionWord);
  request.Information = 4;
  return STATUS_SUCCESS;
}

NtStatus QueryFirmwareMode(DeviceState& dx, ControlRequest& request) {
  request.putU32(0, dx.FirmwareModeWord);
  request.Information = 4;
  return STATUS_SUCCESS;
}

NtStatus SyncRxMultiFrame(DeviceState& dx, ControlRequest&) {
  std::uint32_t value = 0;
  if (Read32(dx, kTxControl, value) == STATUS_SUCCESS) dx.RxMultiFrame = (value & kMultiFrameBit) ? 1 : 0;
  return STATUS_SUCCESS;
}

NtStatus SetReg1404Bit0(DeviceState& dx, ControlRequest& request) {
  if (request.u32(0) != 0) {
    SetBits(dx, 0x1404, 1);
  } else {
    ClearBits(dx, 0x1404, 1);
  }
  return STATUS_SUCCESS;
}

NtStatus SetSpareWord(DeviceState& dx, ControlRequest& request) {
  dx.SpareWord = request.u32(0);
  return STATUS_SUCCESS;
}

}  // namespace kqa::driver::actions
