// B. 32-bit and 8-bit register access. USB failures are not reported: a read
// still answers its nominal byte count, with the buffer as it stood.
#include <cstdint>

#include "driver/control_request.h"
#include "driver/vendor_requests.h"

namespace kqa::driver::actions {
namespace {

constexpr std::uint8_t kRead = 0x07;
constexpr std::uint8_t kWrite = 0x06;
constexpr std::uint8_t kWrite16 = 0x02;

// Four bytes into the buffer at `offset` (IN request `bRequest`, wIndex addr).
void Read4(DeviceState& dx, ControlRequest& request, std::uint8_t bRequest, std::uint16_t address,
           std::size_t offset) {
  VendorRead(dx, bRequest, 0, address, request.Buffer.subspan(offset, 4));
}

NtStatus ReadWord(DeviceState& dx, ControlRequest& request, std::uint8_t bRequest) {
  Read4(dx, request, bRequest, request.u16(0), 0);
  request.Information = 4;
  return STATUS_SUCCESS;
}

NtStatus WriteWord(DeviceState& dx, ControlRequest& request, std::uint8_t bRequest) {
  VendorWrite(dx, bRequest, 0, request.u16(0), request.Buffer.subspan(4, 4));
  return STATUS_SUCCESS;
}

std::uint64_t RoundUp4(std::uint64_t value) { return (value + 3) & ~std::uint64_t{3}; }

}  // namespace

NtStatus MacRead(DeviceState& dx, ControlRequest& request) { return ReadWord(dx, request, kRead); }
NtStatus MacWrite(DeviceState& dx, ControlRequest& request) { return WriteWord(dx, request, kWrite); }

NtStatus MacReadMulti(DeviceState& dx, ControlRequest& request) {
  // Start and count are read before the loop: results overwrite the header.
  const std::uint32_t start = request.u32(0);
  const std::uint32_t byteCount = request.u32(4);
  const std::uint64_t total = RoundUp4(byteCount);
  if (total > request.OutputLength) return kShortOutput;
  for (std::uint64_t off = 0; off < byteCount; off += 4)
    Read4(dx, request, kRead, static_cast<std::uint16_t>(start + off), static_cast<std::size_t>(off));
  request.Information = static_cast<std::uint32_t>(total);
  return STATUS_SUCCESS;
}

NtStatus MacWriteMulti(DeviceState& dx, ControlRequest& request) {
  const std::uint32_t start = request.u32(0);
  const std::uint32_t byteCount = request.u32(4);
  if (8 + RoundUp4(byteCount) > request.InputLength) return kShortInput;
  for (std::uint64_t off = 0; off < byteCount; off += 4)
    VendorWrite(dx, kWrite, 0, static_cast<std::uint16_t>(start + off),
                request.Buffer.subspan(static_cast<std::size_t>(8 + off), 4));
  return STATUS_SUCCESS;
}

NtStatus ReadBlock(DeviceState& dx, ControlRequest& request) {
  const std::uint16_t address = request.u16(0);
  const std::uint32_t length = request.u32(4);
  if (length > request.OutputLength) return kShortOutput;
  VendorRead(dx, kRead, 0, address, request.Buffer.first(length & 0xFFFF));
  request.Information = length;
  return STATUS_SUCCESS;
}

NtStatus ReadByte(DeviceState& dx, ControlRequest& request) {
  VendorRead(dx, kRead, 0, request.u16(0), request.Buffer.first(1));
  request.Information = 1;
  return STATUS_SUCCESS;
}

NtStatus WriteByte(DeviceState& dx, ControlRequest& request) {
  VendorWrite(dx, kWrite, 0, request.u16(0), request.Buffer.subspan(4, 1));
  return STATUS_SUCCESS;
}

NtStatus WriteHalves(DeviceState& dx, ControlRequest& request) {
  const std::uint16_t address = request.u16(0);
  const std::uint32_t value = request.u32(4);
  if (VendorWrite(dx, kWrite16, static_cast<std::uint16_t>(value & 0xFFFF), address, {}) == STATUS_SUCCESS)
    VendorWrite(dx, kWrite16, static_cast<std::uint16_t>(value >> 16), static_cast<std::uint16_t>(address + 2), {});
  return STATUS_SUCCESS;
}

NtStatus RfWrite(DeviceState& dx, ControlRequest& request) {
  driver::RfWrite(dx, request.u32(0));  // gives up silently after 10 busy reads
  return STATUS_SUCCESS;
}

NtStatus SysRead(DeviceState& dx, ControlRequest& request) { return ReadWord(dx, request, 0x47); }
NtStatus SysWrite(DeviceState& dx, ControlRequest& request) { return WriteWord(dx, request, 0x46); }
NtStatus Base0Read(DeviceState& dx, ControlRequest& request) { return ReadWord(dx, request, 0x27); }
NtStatus Base0Write(DeviceState& dx, ControlRequest& request) { return WriteWord(dx, request, 0x26); }
NtStatus AltRead(DeviceState& dx, ControlRequest& request) { return ReadWord(dx, request, 0x17); }
NtStatus AltWrite(DeviceState& dx, ControlRequest& request) { return WriteWord(dx, request, 0x16); }

}  // namespace kqa::driver::actions
