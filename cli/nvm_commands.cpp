// nvm and efuse: the configuration memory and the eFuse behind it.
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/image_file.h"
#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "cli/arguments.h"
#include "cli/cli_output.h"
#include "cli/command_line.h"
#include "cli/command_table.h"

namespace kqa::cli {
namespace {

using device::ConfigMemoryBackEnd;
using device::Format;
using device::NvmResult;

// The configuration space the pages work on.
constexpr std::uint32_t kNvmSpace = 1024;

struct NvmArguments {
  std::uint32_t offset = 0;
  std::uint32_t count = 0;
  std::string hexBytes;
};

int NvmFailure(CommandRun& run, NvmResult result, const char* action) {
  switch (result) {
    case NvmResult::Ok: return kExitOk;
    case NvmResult::NoDevice: return run.fail("no device: the connection could not be opened");
    case NvmResult::Cancelled: return run.fail("eFuse write cancelled: nothing was written");
    case NvmResult::Failed: break;
  }
  return run.fail(Format("%s of the configuration memory failed", action));
}

int NvmRead(CommandRun& run, const NvmArguments& args) {
  if (args.offset + args.count > kNvmSpace)
    return run.usage(Format("OFFSET + COUNT must stay within the %u-byte configuration space",
                            kNvmSpace));
  device::DeviceContext& device = run.device();
  std::vector<std::uint8_t> bytes(args.count);
  const NvmResult result =
      device::ReadEepromBlock(device, static_cast<std::uint16_t>(args.offset), bytes);
  if (result != NvmResult::Ok) return NvmFailure(run, result, "the read");
  return run.done(HexDump(args.offset, bytes),
                  {{"backEnd", device::BackEndName(device::ActiveBackEnd(device))},
                   {"offset", args.offset},
                   {"count", args.count},
                   {"data", HexString(bytes)}});
}

int NvmWrite(CommandRun& run, const NvmArguments& args) {
  std::vector<std::uint8_t> bytes(args.hexBytes.size() / 2);
  device::HexToBytes(bytes, args.hexBytes);  // checked when the line was read

  device::DeviceContext& device = run.device();
  const ConfigMemoryBackEnd backEnd = device::ActiveBackEnd(device);
  const std::size_t space = backEnd == ConfigMemoryBackEnd::Buffer ? device.eepromImageSize : kNvmSpace;
  if (args.offset + bytes.size() > space)
    return run.usage(Format("the write must stay within the %zu bytes of the %s", space,
                            backEnd == ConfigMemoryBackEnd::Buffer ? "image file"
                                                                   : "configuration space"));

  const NvmResult result =
      device::WriteEepromBlock(device, static_cast<std::uint16_t>(args.offset), bytes);
  if (result != NvmResult::Ok) return NvmFailure(run, result, "the write");
  if (backEnd == ConfigMemoryBackEnd::Buffer) {
    // The image lives only in this process: keep the write in its file.
    const std::string& file = run.options().eepromFile;
    std::string problem;
    if (!device::SaveEepromImageFile(device, file, &problem))
      return run.fail("the image was written in memory but not saved: " + problem);
    run.err() << "Saved the image to " << file << '\n';
  }
  const std::string_view name = device::BackEndName(backEnd);
  return run.done(Format("Wrote %zu bytes at 0x%03X (%.*s)\n", bytes.size(), args.offset,
                         static_cast<int>(name.size()), name.data()),
                  {{"backEnd", name}, {"offset", args.offset}, {"count", bytes.size()}});
}

int EfuseFree(CommandRun& run) {
  device::DeviceContext& device = run.device();
  const int free = device::EfuseFreeBlockCount(device);
  if (run.promptReportedFailure()) return run.fail("the eFuse map could not be read");
  return run.done(Format("%d / %d\n", free, device.efuseAreaSize),
                  {{"free", free}, {"total", device.efuseAreaSize}});
}

int EfuseDump(CommandRun& run) {
  std::vector<std::uint8_t> bytes(device::kEfuseLogicalSize);
  if (!device::ReadEfusePhysicalBlock(run.device(), 0, bytes))
    return run.fail("the eFuse could not be read");
  return run.done(HexDump(0, bytes), {{"data", HexString(bytes)}});
}

}  // namespace

void AddNvmCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<NvmArguments>();

  CLI::App& nvm = CommandTable::Group(program, "nvm", "the configuration memory (EEPROM, eFuse or image)");
  CLI::App& read = table.add(nvm, "read", "reads COUNT bytes, 16 a line",
                             [args](CommandRun& run) { return NvmRead(run, *args); });
  read.add_option("OFFSET", args->offset, "where to start")
      ->required()
      ->type_name("HEX")
      ->transform(HexNumber());
  read.add_option("COUNT", args->count, "how many bytes")
      ->required()
      ->type_name("N")
      ->transform(DecimalNumber(kNvmSpace));

  CLI::App& write = table.add(nvm, "write", "writes bytes, e.g. \"nvm write 4 001122334455\"",
                              [args](CommandRun& run) { return NvmWrite(run, *args); });
  write.add_option("OFFSET", args->offset, "where to start")
      ->required()
      ->type_name("HEX")
      ->transform(HexNumber());
  write.add_option("HEXBYTES", args->hexBytes, "the bytes, two hexadecimal digits each")
      ->required()
      ->type_name("HEX")
      ->check(HexBytes());

  CLI::App& efuse = CommandTable::Group(program, "efuse", "the eFuse itself");
  table.add(efuse, "free", "free eFuse blocks, \"free / total\"", EfuseFree);
  table.add(efuse, "dump", "the 512 physical eFuse bytes", EfuseDump);
}

}  // namespace kqa::cli
