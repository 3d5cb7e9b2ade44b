// flash: the NOR-Flash page's logic (app/nvm/nor_flash_tool.h) in the shell.
#include <memory>

#include <CLI/CLI.hpp>

#include "app/device/text_format.h"
#include "app/nvm/nor_flash_tool.h"
#include "app/registers/hex_field.h"
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/page_outcome.h"
#include "cli/progress_bar.h"

namespace kqa::cli {
namespace {

using device::Format;
using nvm::NorFlashTool;
using page::Outcome;

struct FlashArguments {
  std::string block;
  std::uint32_t all = 0;
  CLI::Option* allOption = nullptr;
  std::string file;
  std::uint32_t units = 0;
};

int FlashErase(CommandRun& run, const FlashArguments& args) {
  const bool all = args.allOption->count() > 0;
  if (all == !args.block.empty())
    return run.usage("flash erase takes a block (BLOCK_HEX) or --all COUNT, one of them");
  NorFlashTool tool(run.device());
  ProgressBar bar(run.err(), "Erasing");
  tool.eraseProgress = bar.sink();
  if (all) {
    tool.countText = std::to_string(args.all);
    const Outcome outcome = tool.eraseBlocks();
    const std::string text = args.all == 0 ? std::string("Erased no block (COUNT 0)\n")
                                           : Format("Erased blocks 0 to %u\n", args.all - 1);
    return FinishPageAction(run, outcome, "the erase", text,
                            {{"blocks", args.all}});
  }
  tool.blockText = args.block;
  const Outcome outcome = tool.eraseBlock();
  // The page has read the block number; the JSON gives it as a number.
  const auto block = registers::ParseHexField(args.block);
  Json json{{"block", block ? Json(*block) : Json(args.block)}};
  return FinishPageAction(run, outcome, "the erase", "Erased block " + args.block + "\n", std::move(json));
}

int FlashTransfer(CommandRun& run, const FlashArguments& args, bool load) {
  NorFlashTool tool(run.device());
  tool.sizeText = std::to_string(args.units);
  ProgressBar bar(run.err(), load ? "Programming" : "Reading");
  (load ? tool.loadProgress : tool.saveProgress) = bar.sink();
  const Outcome outcome = load ? tool.loadFrom(args.file) : tool.saveTo(args.file);
  const std::size_t bytes = std::size_t{args.units} * nvm::kFlashUnit;
  return FinishPageAction(run, outcome, load ? "the load" : "the save",
                          Format(load ? "Programmed %u units (%zu bytes) from %s\n" : "Saved %u units (%zu bytes) to %s\n",
                                 args.units, bytes, args.file.c_str()),
                          {{"file", args.file}, {"units", args.units}, {"bytes", bytes}});
}

}  // namespace

void AddFlashCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<FlashArguments>();
  CLI::App& flash = CommandTable::Group(program, "flash", "the external NOR flash (64 KB blocks, 4 KB units)");

  CLI::App& erase = table.add(flash, "erase", "erases one block, or blocks 0 to COUNT-1 with --all",
                              [args](CommandRun& run) { return FlashErase(run, *args); });
  erase.add_option("BLOCK_HEX", args->block, "the block, hexadecimal (its address is block x 0x10000)")
      ->check(HexNumber(nvm::kFlashBlocks - 1, Format("0 to %X (the flash holds 4 MB)", nvm::kFlashBlocks - 1)));
  args->allOption = erase.add_option("--all", args->all, "erase blocks 0 to COUNT-1 (the flash holds 64)")
                        ->type_name("COUNT")
                        ->transform(DecimalNumber(nvm::kFlashBlocks));

  CLI::App& save = table.add(flash, "save", "reads N units of 4 KB into FILE",
                             [args](CommandRun& run) { return FlashTransfer(run, *args, false); });
  save.add_option("FILE", args->file, "the image file")->required();
  save.add_option("--units", args->units, "how many 4 KB units (the flash holds 1024)")
      ->required()
      ->transform(DecimalNumber(nvm::kFlashUnits, 1));

  CLI::App& load = table.add(flash, "load", "programs N units of 4 KB from FILE (erase first)",
                             [args](CommandRun& run) { return FlashTransfer(run, *args, true); });
  load.add_option("FILE", args->file, "the image file")->required()->check(CLI::ExistingFile);
  load.add_option("--units", args->units, "how many 4 KB units (the flash holds 1024)")
      ->required()
      ->transform(DecimalNumber(nvm::kFlashUnits, 1));
}

}  // namespace kqa::cli
