#include "app/device/efuse.h"

#include <algorithm>

#include "app/device/efuse_controller.h"
#include "platform/bytes/little_endian.h"

namespace kqa::device {

std::uint8_t EfuseMapByte(std::uint8_t logicalBlock) {
  const auto bit = [&](int n) { return (logicalBlock >> n) & 1; };
  const int parity6 = 1 ^ bit(0) ^ bit(1) ^ bit(2) ^ bit(3);
  const int parity7 = 1 ^ bit(2) ^ bit(3) ^ bit(4) ^ bit(5);
  return static_cast<std::uint8_t>((logicalBlock & 0x3F) | parity6 << 6 | parity7 << 7);
}

std::uint8_t ReadEfuseLogicalWord(DeviceContext& device, std::uint16_t offset,
                                  std::uint16_t& value) {
  EfuseController efuse(device);
  return efuse.ReadLogicalWord(offset, value);
}

bool ReadEfusePhysical(DeviceContext& device, std::uint16_t offset, std::span<std::uint8_t> out) {
  EfuseController efuse(device);
  efuse.ReadPhysical(offset, out);
  return !efuse.failed();
}

bool ReadEfusePhysicalBlock(DeviceContext& device, std::uint16_t offset,
                            std::span<std::uint8_t> out) {
  EfuseController efuse(device);
  for (std::size_t i = 0; i < out.size(); i += 2)
    efuse.ReadPhysical(static_cast<std::uint16_t>(offset + i),
                       out.subspan(i, std::min<std::size_t>(2, out.size() - i)));
  return !efuse.failed();
}

bool WriteEfusePhysicalWord(DeviceContext& device, std::uint16_t offset, std::uint16_t value) {
  EfuseController efuse(device);
  efuse.WritePhysicalWord(offset, value);
  return !efuse.failed();
}

bool WriteEfusePhysicalBlock(DeviceContext& device, std::uint16_t offset,
                             std::span<const std::uint8_t> data) {
  EfuseController efuse(device);
  for (std::size_t i = 0; i < data.size() && !efuse.failed(); i += 2) {
    const std::uint16_t word = i + 1 < data.size() ? GetLe16(data, i) : data[i];
    efuse.WritePhysicalWord(static_cast<std::uint16_t>(offset + i), word);
  }
  return !efuse.failed();
}

bool ReadEfuseLogicalBlock(DeviceContext& device, std::uint16_t offset, std::span<std::uint8_t> out,
                           bool zeroUnmapped) {
  EfuseController efuse(device);
  for (std::size_t i = 0; i < out.size(); i += 2) {
    std::uint16_t word = 0xFFFF;
    const std::uint8_t status = efuse.ReadLogicalWord(static_cast<std::uint16_t>(offset + i), word);
    if (status == kEfuseUnmapped && zeroUnmapped) word = 0;
    if (i + 1 < out.size())
      PutLe16(out, i, word);
    else
      out[i] = static_cast<std::uint8_t>(word);  // an odd count's last byte
  }
  return !efuse.failed();
}

std::string_view EfuseWriteResultText(EfuseWriteResult result) {
  switch (result) {
    case EfuseWriteResult::Written: return "written and verified";
    case EfuseWriteResult::NoFreeBlock: return "no free eFuse block is left";
    case EfuseWriteResult::NotProgrammable:
      return "no free eFuse block is left and the data would clear burnt bits";
    case EfuseWriteResult::VerifyFailed: return "the data did not verify (5 blocks tried at most)";
    case EfuseWriteResult::OutOfRange: return "the offset or length is outside the eFuse words";
    case EfuseWriteResult::DeviceFailed: return "the eFuse registers could not be accessed";
    case EfuseWriteResult::Changed:
      return "the eFuse changed after the write was planned, so nothing was burnt";
  }
  return "unknown failure";
}

}  // namespace kqa::device
