#include <cstdio>
#include <memory>
#include <vector>

#include "app/device/config_memory.h"
#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/text_format.h"
#include "app/device/text_utils.h"
#include "cli/command_support.h"

namespace kqa::cli {
namespace {

using device::ConfigMemoryBackEnd;
using device::Format;
using device::NvmResult;

// The configuration space the pages work on; the image file holds its first
// half.
constexpr std::uint32_t kNvmSpace = 1024;
constexpr std::size_t kImageFileBytes = 512;

int NvmFailure(Command& command, NvmResult result, const char* action) {
  switch (result) {
    case NvmResult::Ok: return kExitOk;
    case NvmResult::NoDevice: return command.fail("no device: the connection could not be opened");
    case NvmResult::Cancelled: return command.fail("eFuse write cancelled: nothing was written");
    case NvmResult::Failed: break;
  }
  return command.fail(Format("%s of the configuration memory failed", action));
}

bool SaveImageFile(const device::DeviceContext& device, const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  const bool written = std::fwrite(device.eepromImage.data(), 1, kImageFileBytes, file.get()) ==
                       kImageFileBytes;
  return std::fclose(file.release()) == 0 && written;
}

int NvmRead(Command& command) {
  const auto& words = command.options.words;
  std::uint32_t offset = 0;
  std::uint32_t count = 0;
  if (!command.hex(words[2], "OFFSET", offset) ||
      !command.decimal(words[3], "COUNT", count, kNvmSpace))
    return kExitUsage;
  if (offset + count > kNvmSpace)
    return command.usage(Format("OFFSET + COUNT must stay within the %u-byte configuration space",
                                kNvmSpace));

  device::DeviceContext& device = command.session.device;
  std::vector<std::uint8_t> bytes(count);
  const NvmResult result = device::ReadEepromBlock(device, static_cast<std::uint16_t>(offset), bytes);
  if (result != NvmResult::Ok) return NvmFailure(command, result, "the read");
  JsonObject json;
  json.text("backEnd", device::BackEndName(device::ActiveBackEnd(device)))
      .number("offset", offset)
      .number("count", count)
      .text("data", HexString(bytes));
  return command.done(HexDump(offset, bytes), json);
}

int NvmWrite(Command& command) {
  const auto& words = command.options.words;
  std::uint32_t offset = 0;
  if (!command.hex(words[2], "OFFSET", offset)) return kExitUsage;
  const std::string& text = words[3];
  std::vector<std::uint8_t> bytes(text.size() / 2);
  if (text.empty() || text.size() % 2 != 0 || !device::HexToBytes(bytes, text))
    return command.usage("HEXBYTES must be pairs of hexadecimal digits, not \"" + text + "\"");

  device::DeviceContext& device = command.session.device;
  const ConfigMemoryBackEnd backEnd = device::ActiveBackEnd(device);
  const std::uint32_t space = backEnd == ConfigMemoryBackEnd::Buffer ? kImageFileBytes : kNvmSpace;
  if (offset + bytes.size() > space)
    return command.usage(Format("the write must stay within the %u bytes of the %s", space,
                                backEnd == ConfigMemoryBackEnd::Buffer ? "image file"
                                                                       : "configuration space"));

  const NvmResult result = device::WriteEepromBlock(device, static_cast<std::uint16_t>(offset), bytes);
  if (result != NvmResult::Ok) return NvmFailure(command, result, "the write");
  if (backEnd == ConfigMemoryBackEnd::Buffer) {
    // The image lives only in this process: keep the write in its file.
    if (!SaveImageFile(device, command.options.eepromFile))
      return command.fail("the image file \"" + command.options.eepromFile + "\" could not be written");
    command.session.err << "Saved the image to " << command.options.eepromFile << '\n';
  }
  JsonObject json;
  json.text("backEnd", device::BackEndName(backEnd))
      .number("offset", offset)
      .number("count", static_cast<long long>(bytes.size()));
  return command.done(Format("Wrote %zu bytes at 0x%03X (%.*s)\n", bytes.size(), offset,
                             static_cast<int>(device::BackEndName(backEnd).size()),
                             device::BackEndName(backEnd).data()),
                      json);
}

}  // namespace

int NvmCommand(Command& command) {
  const auto& words = command.options.words;
  if (words.size() == 4 && words[1] == "read") return NvmRead(command);
  if (words.size() == 4 && words[1] == "write") return NvmWrite(command);
  return command.usage("nvm read OFFSET COUNT | nvm write OFFSET HEXBYTES");
}

int EfuseCommand(Command& command) {
  const auto& words = command.options.words;
  device::DeviceContext& device = command.session.device;
  if (words.size() == 2 && words[1] == "free") {
    const int free = device::EfuseFreeBlockCount(device);
    if (command.promptReportedFailure()) return command.fail("the eFuse map could not be read");
    JsonObject json;
    json.number("free", free).number("total", device.efuseAreaSize);
    return command.done(Format("%d / %d\n", free, device.efuseAreaSize), json);
  }
  if (words.size() == 2 && words[1] == "dump") {
    std::vector<std::uint8_t> bytes(device::kEfuseLogicalSize);
    if (!device::ReadEfusePhysicalBlock(device, 0, bytes))
      return command.fail("the eFuse could not be read");
    JsonObject json;
    json.text("data", HexString(bytes));
    return command.done(HexDump(0, bytes), json);
  }
  return command.usage("efuse free | efuse dump");
}

}  // namespace kqa::cli
