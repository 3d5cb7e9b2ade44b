#include "cli/efuse_plan_text.h"

#include "app/device/efuse.h"
#include "app/device/text_format.h"
#include "cli/cli_output.h"

namespace kqa::cli {
namespace {

using device::Format;

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

}  // namespace

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

}  // namespace kqa::cli
