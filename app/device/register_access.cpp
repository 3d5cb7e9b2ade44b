#include "app/device/register_access.h"

#include <array>
#include <cstring>
#include <vector>

#include "app/device/connection.h"
#include "app/device/messages.h"
#include "app/device/register_sequence.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using namespace kqa::ioctl;

constexpr int kBusyPolls = 10;
constexpr std::uint8_t kBbpR66 = 66;
constexpr std::uint8_t kBbpR27 = 27;

// The 20-byte read request: offset, length, 0 and two words the driver
// ignores (sent as zero).
std::array<std::uint8_t, 20> ReadRequest(std::uint32_t offset, std::uint32_t length) {
  std::array<std::uint8_t, 20> request{};
  PutLe32(request, 0, offset);
  PutLe32(request, 4, length);
  return request;
}

}  // namespace

bool RegisterAccess::Read32(std::uint32_t code, std::uint32_t offset, std::uint32_t& value,
                            std::uint32_t length) {
  const std::array<std::uint8_t, 20> request = ReadRequest(offset, length);
  std::array<std::uint8_t, 4> output{};
  const auto result = CallOpenDevice(device_, code, request, output);
  if (!result) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  // A short answer would leave stale bytes in the value: count it as failed.
  if (!result->succeeded() || result->bytesReturned != output.size()) {
    device_.prompt.showMessage(messages::kReadFailed);
    value = kFailedReadValue;
    return Fail(result->succeeded() ? ERROR_GEN_FAILURE : result->error);
  }
  value = GetLe32(output, 0);
  return true;
}

bool RegisterAccess::Write32(std::uint32_t code, std::uint32_t offset, std::uint32_t value) {
  std::array<std::uint8_t, 12> request{};
  PutLe32(request, 0, offset);
  PutLe32(request, 4, value);
  const auto result = CallOpenDevice(device_, code, request, {});
  if (!result) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  if (!result->succeeded()) {
    device_.prompt.showMessage(messages::kWriteFailed);
    return Fail(result->error);
  }
  return true;
}

bool RegisterAccess::ReadMacRegister(std::uint32_t offset, std::uint32_t& value,
                                     std::uint32_t length) {
  return Read32(VQ_OID_USB_VENDOR_MAC_READ, offset, value, length);
}

bool RegisterAccess::WriteMacRegister(std::uint32_t offset, std::uint32_t value,
                                      std::uint32_t length) {
  if (offset == 0x13B0 && device_.asicVersion == kKestrelAsicVersion)
    return WriteMacRegisterAlt(offset, value, length);
  return Write32(VQ_OID_USB_VENDOR_MAC_WRITE, offset, value);
}

bool RegisterAccess::WriteMacRegisterAlt(std::uint32_t offset, std::uint32_t value,
                                         std::uint32_t /*length*/) {
  return Write32(VQ_OID_USB_VENDOR_WRITE_HALVES, offset, value);
}

bool RegisterAccess::ReadSysRegister(std::uint32_t offset, std::uint32_t& value,
                                     std::uint32_t length) {
  return Read32(VQ_OID_USB_VENDOR_SYS_READ, offset, value, length);
}

bool RegisterAccess::WriteSysRegister(std::uint32_t offset, std::uint32_t value,
                                      std::uint32_t /*length*/) {
  return Write32(VQ_OID_USB_VENDOR_SYS_WRITE, offset, value);
}

bool RegisterAccess::ReadAbsRegister(std::uint32_t offset, std::uint32_t& value,
                                     std::uint32_t length) {
  return Read32(VQ_OID_USB_VENDOR_BASE0_READ, offset, value, length);
}

bool RegisterAccess::WriteAbsRegister(std::uint32_t offset, std::uint32_t value,
                                      std::uint32_t /*length*/) {
  return Write32(VQ_OID_USB_VENDOR_BASE0_WRITE, offset, value);
}

bool RegisterAccess::ReadMemoryBlock(std::uint32_t offset, std::span<std::uint8_t> destination) {
  const auto length = static_cast<std::uint32_t>(destination.size());
  const std::array<std::uint8_t, 20> request = ReadRequest(offset, length);
  // Read into a buffer of our own so a failed or short read leaves the
  // caller's buffer as it was.
  std::vector<std::uint8_t> output(destination.size());
  const auto result = CallOpenDevice(device_, VQ_OID_USB_VENDOR_READ_BLOCK, request, output);
  if (!result) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  if (!result->succeeded() || result->bytesReturned != length) {
    device_.prompt.showMessage(messages::kReadFailed);
    return Fail(result->succeeded() ? ERROR_GEN_FAILURE : result->error);
  }
  std::memcpy(destination.data(), output.data(), output.size());
  return true;
}

bool RegisterAccess::ReadWhenIdle(std::uint32_t busyBit, std::uint32_t offset,
                                  std::uint32_t& value, std::uint32_t length) {
  if (!EnsureDeviceOpen(device_)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  std::uint32_t last = kFailedReadValue;
  for (int poll = 0; poll < kBusyPolls; ++poll) {
    if (!ReadMacRegister(offset, last, length)) {
      value = last;
      return false;
    }
    if ((last & busyBit) == 0) break;
  }
  value = last;
  return true;
}

bool RegisterAccess::WriteWhenIdle(std::uint32_t busyBit, std::uint32_t offset,
                                   std::uint32_t value, std::uint32_t length) {
  if (!EnsureDeviceOpen(device_)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  std::uint32_t status = 0;
  if (!ReadWhenIdle(busyBit, offset, status, length)) return false;
  return WriteMacRegister(offset, value, length);
}

bool RegisterAccess::ReadWhenBbpIdle(std::uint32_t offset, std::uint32_t& value,
                                     std::uint32_t length) {
  return ReadWhenIdle(kBbpBusyBit, offset, value, length);
}

bool RegisterAccess::WriteWhenBbpIdle(std::uint32_t offset, std::uint32_t value,
                                      std::uint32_t length) {
  return WriteWhenIdle(kBbpBusyBit, offset, value, length);
}

bool RegisterAccess::ReadWhenRfIdle(std::uint32_t offset, std::uint32_t& value,
                                    std::uint32_t length) {
  return ReadWhenIdle(kRfBusyBit, offset, value, length);
}

bool RegisterAccess::WriteWhenRfIdle(std::uint32_t offset, std::uint32_t value,
                                     std::uint32_t length) {
  return WriteWhenIdle(kRfBusyBit, offset, value, length);
}

// Without a device the value stays as it was; a failed call reads as 0xFF.
bool RegisterAccess::BbpRead(std::uint8_t id, std::uint8_t& value) {
  if (!EnsureDeviceOpen(device_)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  std::uint32_t command = kFailedReadValue;
  const bool ok =
      WriteWhenBbpIdle(kBbpCommandRegister, 0xB0000u | static_cast<std::uint32_t>(id) << 8) &&
      ReadWhenBbpIdle(kBbpCommandRegister, command);
  value = static_cast<std::uint8_t>(command);
  return ok;
}

bool RegisterAccess::BbpWrite(std::uint8_t id, std::uint8_t value) {
  return WriteWhenBbpIdle(kBbpCommandRegister,
                          0xA0000u | static_cast<std::uint32_t>(id) << 8 | value);
}

// R66 is written once per receive path, each path selected through bits 5
// and 6 of R27; R27 keeps the last path selected.
bool RegisterAccess::WriteR66PerPath(std::uint8_t value) {
  const unsigned paths = device_.eepromWord34 & 0xF;
  if (paths < 1 || paths > 3) return true;
  constexpr std::uint8_t kKeep[] = {0x9F, 0xBF, 0xDF};
  constexpr std::uint8_t kSelect[] = {0x00, 0x20, 0x40};
  for (unsigned path = 0; path < paths; ++path) {
    std::uint8_t r27 = 0;
    if (!BbpRead(kBbpR27, r27)) return false;
    if (!BbpWrite(kBbpR27, static_cast<std::uint8_t>((r27 & kKeep[path]) | kSelect[path])))
      return false;
    if (!BbpWrite(kBbpR66, value)) return false;
  }
  return true;
}

bool RegisterAccess::SequenceRefused() {
  if (!device_.hDevice.isOpen()) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  device_.prompt.showMessage(messages::kSequenceBusy);
  return Fail(ERROR_BUSY);
}

bool RegisterAccess::AccessBbpRegister(int operation, std::uint8_t id, std::uint8_t& value) {
  RegisterSequence sequence(device_);
  if (!sequence.ensureHeld()) return SequenceRefused();
  if (operation == kRegisterRead) return BbpRead(id, value);
  if (operation != kRegisterWrite) return true;
  if (id == kBbpR66) return WriteR66PerPath(value);
  return BbpWrite(id, value);
}

bool RegisterAccess::AccessRfRegister(int operation, std::uint8_t bank, std::uint8_t reg,
                                      std::uint8_t& value) {
  RegisterSequence sequence(device_);
  if (!sequence.ensureHeld()) return SequenceRefused();
  const std::uint32_t select =
      static_cast<std::uint32_t>(bank & 0xF) << 14 | static_cast<std::uint32_t>(reg & 0x3F) << 8;
  if (operation == kRegisterRead) {
    if (!EnsureDeviceOpen(device_)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    std::uint32_t command = kFailedReadValue;
    const bool ok = WriteWhenRfIdle(kRfCommandRegister, 0x80000000u | select) &&
                    ReadWhenRfIdle(kRfCommandRegister, command);
    value = static_cast<std::uint8_t>(command);
    return ok;
  }
  if (operation != kRegisterWrite) return true;
  return WriteWhenRfIdle(kRfCommandRegister, 0xC0000000u | select | value);
}

}  // namespace kqa::device
