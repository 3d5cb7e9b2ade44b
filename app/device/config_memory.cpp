#include "app/device/config_memory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "app/device/connection.h"
#include "app/device/efuse.h"
#include "app/device/efuse_plan.h"
#include "app/device/messages.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using namespace kqa::ioctl;

constexpr std::size_t kMaxWrite = 512;
constexpr std::string_view kImageName = "EEPROM image";
constexpr std::string_view kEfuseName = "eFuse";

bool InImage(const ConfigMemoryMode& mode, std::uint16_t offset, std::size_t count) {
  return offset + count <= mode.eepromImageSize;
}

NvmResult RefuseOutOfRange(DeviceContext& device, std::uint16_t offset, std::size_t count,
                           std::size_t size, std::string_view memory) {
  device.prompt.showMessage(messages::OutOfRange(offset, count, size, memory));
  return NvmResult::Failed;
}

// EEPROM mode read: the driver answers whole words, so read into a buffer
// rounded up to even and hand the caller exactly what it asked for.
NvmResult ReadFromEeprom(DeviceContext& device, std::uint16_t offset,
                         std::span<std::uint8_t> destination) {
  const auto count = static_cast<std::uint16_t>(destination.size());
  std::array<std::uint8_t, 4> request{};
  PutLe16(request, 0, offset);
  PutLe16(request, 2, count);
  std::vector<std::uint8_t> output((destination.size() + 1) & ~std::size_t{1});
  const auto result = CallOpenDevice(device, VQ_OID_USB_VENDOR_EEPROM_READ, request, output);
  if (!result) return NvmResult::NoDevice;
  if (!result->succeeded()) {
    device.prompt.showMessage(messages::DeviceIoControlFailed(result->error));
    return NvmResult::Failed;
  }
  std::memcpy(destination.data(), output.data(), destination.size());
  return NvmResult::Ok;
}

NvmResult WriteToEeprom(DeviceContext& device, std::uint16_t offset,
                        std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> bytes(data.begin(), data.end());
  // The driver writes whole words: an odd count would also write the byte
  // after the data, so that byte is read first and written back unchanged.
  if (bytes.size() % 2 == 1) {
    std::array<std::uint8_t, 2> lastWord{};
    const NvmResult read = ReadFromEeprom(
        device, static_cast<std::uint16_t>(offset + bytes.size() - 1), lastWord);
    if (read != NvmResult::Ok) return read;
    bytes.push_back(lastWord[1]);
  }
  const auto count = static_cast<std::uint16_t>(bytes.size());
  std::vector<std::uint8_t> record(4);
  PutLe16(record, 0, offset);
  PutLe16(record, 2, count);
  record.insert(record.end(), bytes.begin(), bytes.end());
  const auto result = CallOpenDevice(device, VQ_OID_USB_VENDOR_EEPROM_WRITE, record, {});
  if (!result) return NvmResult::NoDevice;
  if (!result->succeeded()) {
    device.prompt.showMessage(messages::DeviceIoControlFailed(result->error));
    return NvmResult::Failed;
  }
  return NvmResult::Ok;
}

// The whole write is planned before anything is burnt: the question shows
// what it costs, and a write the free blocks cannot hold is refused.
NvmResult WriteToEfuse(ConfigMemory memory, std::uint16_t offset,
                       std::span<const std::uint8_t> data) {
  DeviceContext& device = memory.device;
  if (offset + data.size() > kEfuseLogicalSize)
    return RefuseOutOfRange(device, offset, data.size(), kEfuseLogicalSize, kEfuseName);
  const EfuseWritePlan plan = PlanEfuseWrite(memory, offset, data);
  if (plan.verdict == EfuseWriteResult::DeviceFailed) return NvmResult::Failed;  // already shown
  if (!plan.canRun()) {
    device.prompt.showMessage(messages::EfuseWriteRefused(EfuseRefusalReason(plan)));
    return NvmResult::Failed;
  }
  if (!memory.mode.efuseWriteNoConfirm &&
      !device.prompt.askOkCancel(messages::EfuseWriteQuestion(plan.freeBefore, plan.freeAfter)))
    return NvmResult::Cancelled;
  std::uint16_t failedAt = offset;
  const EfuseWriteResult result = CarryOutEfusePlan(memory, plan, &failedAt);
  if (result == EfuseWriteResult::Written) return NvmResult::Ok;
  device.prompt.showMessage(messages::EfuseWriteFailed(failedAt, EfuseWriteResultText(result)));
  return NvmResult::Failed;
}

}  // namespace

ConfigMemoryBackEnd ActiveBackEnd(const ConfigMemoryMode& mode) {
  if (mode.bufferMode) return ConfigMemoryBackEnd::Buffer;
  if (mode.efuseMode) return ConfigMemoryBackEnd::Efuse;
  return ConfigMemoryBackEnd::Eeprom;
}

std::string_view BackEndName(ConfigMemoryBackEnd backEnd) {
  switch (backEnd) {
    case ConfigMemoryBackEnd::Eeprom: return "EEPROM";
    case ConfigMemoryBackEnd::Efuse: return "eFuse";
    case ConfigMemoryBackEnd::Buffer: return "buffer";
  }
  return "unknown";
}

void SelectBackEnd(ConfigMemoryMode& mode, ConfigMemoryBackEnd backEnd) {
  mode.bufferMode = backEnd == ConfigMemoryBackEnd::Buffer;
  mode.efuseMode = backEnd != ConfigMemoryBackEnd::Eeprom;
}

bool ReadImage(const ConfigMemoryMode& mode, std::uint16_t offset,
               std::span<std::uint8_t> destination) {
  if (!InImage(mode, offset, destination.size())) return false;
  std::memcpy(destination.data(), mode.eepromImage.data() + offset, destination.size());
  return true;
}

bool WriteImage(ConfigMemoryMode& mode, std::uint16_t offset, std::span<const std::uint8_t> source) {
  if (!InImage(mode, offset, source.size())) return false;
  std::memcpy(mode.eepromImage.data() + offset, source.data(), source.size());
  return true;
}

NvmResult ReadEepromBlock(ConfigMemory memory, std::uint16_t offset,
                          std::span<std::uint8_t> destination) {
  DeviceContext& device = memory.device;
  if (!EnsureDeviceOpen(device)) return NvmResult::NoDevice;
  if (destination.size() > 0xFFFF)
    return RefuseOutOfRange(device, offset, destination.size(), 0xFFFF, "transfer");
  switch (ActiveBackEnd(memory.mode)) {
    case ConfigMemoryBackEnd::Buffer:
      if (!ReadImage(memory.mode, offset, destination))
        return RefuseOutOfRange(device, offset, destination.size(), memory.mode.eepromImageSize,
                                kImageName);
      return NvmResult::Ok;
    case ConfigMemoryBackEnd::Efuse:
      // A failed register access has shown its own message already.
      return ReadEfuseLogicalBlock(device, offset, destination, false) ? NvmResult::Ok
                                                                       : NvmResult::Failed;
    case ConfigMemoryBackEnd::Eeprom:
      return ReadFromEeprom(device, offset, destination);
  }
  return NvmResult::Failed;
}

NvmResult ReadEepromWord(ConfigMemory memory, std::uint16_t offset, std::uint16_t& value) {
  std::array<std::uint8_t, 2> bytes{};
  const NvmResult result = ReadEepromBlock(memory, offset, bytes);
  if (result == NvmResult::Ok) value = GetLe16(bytes, 0);
  return result;
}

NvmResult WriteEepromBlock(ConfigMemory memory, std::uint16_t offset,
                           std::span<const std::uint8_t> data) {
  DeviceContext& device = memory.device;
  if (!EnsureDeviceOpen(device)) return NvmResult::NoDevice;
  if (data.size() > kMaxWrite) {
    device.prompt.showMessage(messages::kMaximumSize);
    return NvmResult::Failed;
  }
  if (data.empty()) return NvmResult::Ok;
  switch (ActiveBackEnd(memory.mode)) {
    case ConfigMemoryBackEnd::Buffer:
      if (!WriteImage(memory.mode, offset, data))
        return RefuseOutOfRange(device, offset, data.size(), memory.mode.eepromImageSize,
                                kImageName);
      return NvmResult::Ok;
    case ConfigMemoryBackEnd::Efuse:
      return WriteToEfuse(memory, offset, data);
    case ConfigMemoryBackEnd::Eeprom:
      return WriteToEeprom(device, offset, data);
  }
  return NvmResult::Failed;
}

NvmResult WriteEepromWord(ConfigMemory memory, std::uint16_t offset, std::uint16_t value) {
  std::array<std::uint8_t, 2> bytes{};
  PutLe16(bytes, 0, value);
  return WriteEepromBlock(memory, offset, bytes);
}

}  // namespace kqa::device
