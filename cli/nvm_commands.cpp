// nvm and efuse: the configuration memory and the eFuse behind it.
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/device/efuse.h"
#include "app/device/efuse_accounting.h"
#include "app/device/efuse_plan.h"
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
  bool dryRun = false;
};

std::vector<std::uint8_t> Bytes(const std::string& hexBytes) {
  std::vector<std::uint8_t> bytes(hexBytes.size() / 2);
  device::HexToBytes(bytes, hexBytes);  // checked when the line was read
  return bytes;
}

// "0x140-0x147: 01 11 22 ...": the physical bytes a block plan burns, in
// runs of neighbouring addresses.
std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> Burns(const device::EfuseBlockPlan& block) {
  std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> runs;
  for (std::size_t i = 0; i < block.after.size(); ++i) {
    if (block.after[i] == block.before[i]) continue;
    const auto address = static_cast<std::uint16_t>(block.physicalBlock * 16 + i);
    if (runs.empty() || runs.back().first + runs.back().second.size() != address) runs.push_back({address, {}});
    runs.back().second.push_back(block.after[i]);
  }
  return runs;
}

// The plan as the engineer reads it before the burn, and as JSON.
std::string PlanText(const device::ConfigMemoryMode& mode, const device::EfuseWritePlan& plan, Json& json) {
  std::string text = Format("eFuse write of %s at 0x%03X:\n", Counted(static_cast<long long>(plan.data.size()), "byte").c_str(), plan.offset);
  Json blocks = Json::array();
  for (const device::EfuseBlockPlan& block : plan.blocks) {
    const unsigned first = block.logicalBlock * 16u;
    const unsigned mapAt = mode.efuseAreaStart + block.physicalBlock;
    text += Format("  logical block %u (0x%03X-0x%03X): ", block.logicalBlock, first, first + 15);
    if (block.inPlace)
      text += Format("programmed in place in physical block %u\n", block.physicalBlock);
    else if (block.mappedTo)
      text += Format("moves from physical block %u to %u (map byte 0x%02X at 0x%03X; 0x%03X invalidated)\n",
                     *block.mappedTo, block.physicalBlock, device::EfuseMapByte(block.logicalBlock), mapAt,
                     mode.efuseAreaStart + *block.mappedTo);
    else
      text += Format("new in physical block %u (map byte 0x%02X at 0x%03X)\n", block.physicalBlock,
                     device::EfuseMapByte(block.logicalBlock), mapAt);
    Json burns = Json::array();
    for (const auto& [address, bytes] : Burns(block)) {
      text += bytes.size() == 1
                  ? Format("    burns 0x%03X:", address)
                  : Format("    burns 0x%03X-0x%03X:", address, static_cast<unsigned>(address + bytes.size() - 1));
      for (std::uint8_t byte : bytes) text += Format(" %02X", byte);
      text += '\n';
      burns.push_back({{"address", address}, {"bytes", HexString(bytes)}});
    }
    Json entry{{"logicalBlock", block.logicalBlock},
               {"mappedTo", block.mappedTo ? Json(*block.mappedTo) : Json(nullptr)},
               {"physicalBlock", block.physicalBlock},
               {"inPlace", block.inPlace},
               {"burns", burns}};
    if (!block.inPlace) {
      entry["mapByte"] = device::EfuseMapByte(block.logicalBlock);
      entry["mapByteAt"] = mapAt;
    }
    blocks.push_back(entry);
  }
  for (const std::uint8_t logical : plan.unplaced)
    text += Format("  logical block %u (0x%03X-0x%03X): needs a new block, and none is left\n", logical,
                   logical * 16u, logical * 16u + 15);
  if (plan.canRun() && plan.blocks.empty()) text += "  nothing changes: the eFuse holds these bytes already\n";
  text += Format("Free blocks: %d before, %d after.\n", plan.freeBefore, plan.freeAfter);
  if (!plan.canRun()) text += "Refused: " + device::EfuseRefusalReason(plan) + "; nothing would be burnt.\n";
  json = {{"offset", plan.offset},
          {"count", plan.data.size()},
          {"blocks", blocks},
          {"freeBefore", plan.freeBefore},
          {"freeAfter", plan.freeAfter},
          {"unplaced", plan.unplaced},
          {"fits", plan.canRun()}};
  if (!plan.canRun()) json["reason"] = device::EfuseRefusalReason(plan);
  return text;
}

// Shows what writing `bytes` to the eFuse would do, and burns nothing.
int ShowEfusePlan(CommandRun& run, std::uint32_t offset, const std::vector<std::uint8_t>& bytes) {
  if (offset + bytes.size() > device::kEfuseLogicalSize)
    return run.usage(Format("the write must stay within the %u logical bytes of the eFuse",
                            device::kEfuseLogicalSize));
  const device::EfuseWritePlan plan =
      device::PlanEfuseWrite(run.configMemory(), static_cast<std::uint16_t>(offset), bytes);
  if (plan.verdict == device::EfuseWriteResult::DeviceFailed) return run.fail("the eFuse could not be read");
  Json json;
  const std::string text = PlanText(run.memoryMode(), plan, json);
  if (!plan.canRun()) {
    if (run.json())
      run.out() << JsonLine(run.withDevice(json));
    else
      run.out() << text;
    return kExitFailed;
  }
  return run.done(text + "Nothing was burnt (a plan only).\n", json);
}

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
  std::vector<std::uint8_t> bytes(args.count);
  const NvmResult result =
      device::ReadEepromBlock(run.configMemory(), static_cast<std::uint16_t>(args.offset), bytes);
  if (result != NvmResult::Ok) return NvmFailure(run, result, "the read");
  return run.done(HexDump(args.offset, bytes),
                  {{"backEnd", device::BackEndName(device::ActiveBackEnd(run.memoryMode()))},
                   {"offset", args.offset},
                   {"count", args.count},
                   {"data", HexString(bytes)}});
}

int NvmWrite(CommandRun& run, const NvmArguments& args) {
  const std::vector<std::uint8_t> bytes = Bytes(args.hexBytes);
  const device::ConfigMemoryMode& mode = run.memoryMode();
  const ConfigMemoryBackEnd backEnd = device::ActiveBackEnd(mode);
  const std::size_t space = backEnd == ConfigMemoryBackEnd::Buffer ? mode.eepromImageSize : kNvmSpace;
  if (args.offset + bytes.size() > space)
    return run.usage(Format("the write must stay within the %zu bytes of the %s", space,
                            backEnd == ConfigMemoryBackEnd::Buffer ? "image file"
                                                                   : "configuration space"));

  const std::string_view name = device::BackEndName(backEnd);
  if (args.dryRun) {
    if (backEnd == ConfigMemoryBackEnd::Efuse) return ShowEfusePlan(run, args.offset, bytes);
    return run.done(Format("Would write %s at 0x%03X (%.*s); nothing was written.\n",
                           Counted(static_cast<long long>(bytes.size()), "byte").c_str(), args.offset,
                           static_cast<int>(name.size()), name.data()),
                    {{"backEnd", name}, {"offset", args.offset}, {"count", bytes.size()}, {"dryRun", true}});
  }
  const NvmResult result =
      device::WriteEepromBlock(run.configMemory(), static_cast<std::uint16_t>(args.offset), bytes);
  if (result != NvmResult::Ok) return NvmFailure(run, result, "the write");
  if (backEnd == ConfigMemoryBackEnd::Buffer) {
    // The image lives only in this process: keep the write in its file.
    const std::string& file = run.options().eepromFile;
    std::string problem;
    if (!device::SaveEepromImageFile(mode, file, &problem))
      return run.fail("the image was written in memory but not saved: " + problem);
    run.err() << "Saved the image to " << file << '\n';
  }
  return run.done(Format("Wrote %s at 0x%03X (%.*s)\n", Counted(static_cast<long long>(bytes.size()), "byte").c_str(),
                         args.offset, static_cast<int>(name.size()), name.data()),
                  {{"backEnd", name}, {"offset", args.offset}, {"count", bytes.size()}});
}

int EfuseFree(CommandRun& run) {
  const int free = device::EfuseFreeBlockCount(run.configMemory());
  if (run.promptReportedFailure()) return run.fail("the eFuse map could not be read");
  const int total = run.memoryMode().efuseAreaSize;
  return run.done(Format("%d / %d\n", free, total), {{"free", free}, {"total", total}});
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
  AddHexArgument(read, "OFFSET", args->offset, "where to start");
  AddDecimalArgument(read, "COUNT", args->count, kNvmSpace, "how many bytes");

  CLI::App& write = table.add(nvm, "write", "writes bytes, e.g. \"nvm write 4 001122334455\"",
                              [args](CommandRun& run) { return NvmWrite(run, *args); });
  AddHexArgument(write, "OFFSET", args->offset, "where to start");
  AddHexBytesArgument(write, "HEXBYTES", args->hexBytes, "the bytes, two hexadecimal digits each");
  write.add_flag("--dry-run", args->dryRun,
                 "show what the write would do (for the eFuse: the blocks it burns and the free "
                 "count after it) and write nothing");

  CLI::App& efuse = CommandTable::Group(program, "efuse", "the eFuse itself");
  CLI::App& plan = table.add(efuse, "plan", "what writing bytes at a logical offset would burn; burns nothing",
                             [args](CommandRun& run) { return ShowEfusePlan(run, args->offset, Bytes(args->hexBytes)); });
  AddHexArgument(plan, "OFFSET", args->offset, "the logical offset");
  AddHexBytesArgument(plan, "HEXBYTES", args->hexBytes, "the bytes, two hexadecimal digits each");
  table.add(efuse, "free", "free eFuse blocks, \"free / total\"", EfuseFree);
  table.add(efuse, "dump", "the 512 physical eFuse bytes", EfuseDump);
}

}  // namespace kqa::cli
