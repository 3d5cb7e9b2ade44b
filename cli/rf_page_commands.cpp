// rf dump, save, load, bit, channel; txpower and freq-offset: the RF pages'
// work, through their own logic (app/registers/rf_register_tool.h,
// rf_radio_tool.h).
#include <memory>

#include <CLI/CLI.hpp>

#include "app/device/text_format.h"
#include "app/registers/rf_radio_tool.h"
#include "app/registers/rf_register_tool.h"
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/page_outcome.h"

namespace kqa::cli {
namespace {

using device::Format;
using registers::RfPage;
using registers::RfRadioTool;
using registers::RfRegisterTool;
using Outcome = page::Outcome;

struct RfPageArguments {
  std::uint32_t bank = 0;
  std::uint32_t page = 1;
  std::uint32_t reg = 0;
  std::uint32_t bit = 0;
  std::string state;
  std::string file;
  std::uint32_t channel = 0;
  std::uint32_t path = 0;
  std::uint32_t value = 0;
  // Whether the optional words were given.
  const CLI::Option* channelGiven = nullptr;
  const CLI::Option* pathGiven = nullptr;
  const CLI::Option* valueGiven = nullptr;
  const CLI::Option* offsetGiven = nullptr;
};

bool Given(const CLI::Option* option) {
  return option != nullptr && option->count() > 0;
}

int Dump(CommandRun& run, const RfPageArguments& args) {
  RfRegisterTool tool(run.device(), static_cast<RfPage>(args.page));
  const Outcome outcome = tool.chooseBank(static_cast<int>(args.bank));
  std::string text;
  Json registers = Json::array();
  for (int i = 0; i < registers::kRfPageRegisters; ++i) {
    const int reg = tool.firstRegister() + i;
    const std::uint8_t value = tool.values()[static_cast<std::size_t>(i)];
    text += Format("R%d %02X\n", reg, value);
    registers.push_back({{"register", reg}, {"value", value}});
  }
  return FinishAction(run, outcome, Format("reading RF bank %u", args.bank), text,
                      {{"bank", args.bank}, {"page", args.page}, {"registers", registers}});
}

int Save(CommandRun& run, const RfPageArguments& args) {
  RfRegisterTool tool(run.device(), RfPage::One);
  return FinishAction(run, tool.saveRegisterFile(args.file), "saving the RF registers",
                      "Saved banks 0, 4 and 5 (192 registers) to " + args.file + "\n",
                      {{"file", args.file}, {"lines", 192}});
}

int Load(CommandRun& run, const RfPageArguments& args) {
  RfRegisterTool tool(run.device(), RfPage::One);
  const Outcome outcome = tool.loadRegisterFile(args.file);
  return FinishRegisterLoad(run, outcome, "loading the RF registers",
                            {args.file, "RF", tool.written(), tool.skipped()});
}

int Bit(CommandRun& run, const RfPageArguments& args) {
  const int reg = static_cast<int>(args.reg);
  RfRegisterTool tool(run.device(), registers::RfPageOf(reg));
  run.device().settings.rfBank = static_cast<int>(args.bank);
  const Outcome outcome = tool.setBit(reg, static_cast<int>(args.bit), args.state == "1");
  const std::uint8_t value = tool.values()[static_cast<std::size_t>(reg - tool.firstRegister())];
  return FinishAction(run, outcome,
                      Format("setting bit %u of RF bank %u R%u", args.bit, args.bank, args.reg),
                      Format("R%d %02X\n", reg, value),
                      {{"bank", args.bank},
                       {"register", reg},
                       {"bit", args.bit},
                       {"set", tool.bitShown(reg, static_cast<int>(args.bit))},
                       {"value", value}});
}

Json SynthesiserJson(const registers::SynthesiserRow& row, std::uint32_t asicVersion) {
  return {{"channel", row.channel},
          {"ghz", row.ghz},
          {"vco", registers::FormatVco(row.vcoMhz, asicVersion)},
          {"n", row.n},
          {"k", row.k},
          {"d", row.d},
          {"ksd", row.ksd}};
}

int Channel(CommandRun& run, const RfPageArguments& args) {
  device::DeviceContext& device = run.device();
  std::string text;
  Json rows = Json::array();
  const bool one = Given(args.channelGiven);
  for (const device::ChannelParams& params : run.session().channels.channelParams) {
    if (one && params.channel != args.channel) continue;
    const registers::SynthesiserRow row = registers::SynthesiserRowOf(params);
    text += registers::FormatSynthesiserLine(row, device.asicVersion) + "\n";
    rows.push_back(SynthesiserJson(row, device.asicVersion));
  }
  if (one) return run.done(text, rows.empty() ? Json::object() : rows.front());
  return run.done(text, {{"channels", rows}});
}

int TxPower(CommandRun& run, const RfPageArguments& args) {
  const bool set = Given(args.pathGiven);
  if (set != Given(args.valueGiven))
    return run.usage("txpower takes both PATH and VALUE, or neither");
  RfRadioTool radio(run.configMemory(), run.session().channels);
  radio.loadSettings();
  if (set) {
    const Outcome outcome =
        radio.setTxPower(static_cast<int>(args.path), static_cast<int>(args.value));
    if (outcome != Outcome::Done)
      return FinishAction(run, outcome, Format("setting TX power %u", args.path), {}, {});
  }
  const bool second = radio.hasSecondTxPath();
  std::string text = "TX power 0: " + radio.txPowerText(0) + "\n";
  Json json = {{"txPower0", run.device().settings.txPower0}, {"txPaths", radio.txPaths()}};
  if (second) {
    // No register holds TX power 1: a run of kestrelqa-cli knows only what it
    // set, and a value set here is gone with this command.
    text += "TX power 1: " + radio.txPowerText(1) + " (kept by the program, not by the chip)\n";
    json["txPower1"] = run.device().settings.txPower1;
    json["txPower1KeptByChip"] = false;
  }
  return run.done(text, json);
}

int FrequencyOffset(CommandRun& run, const RfPageArguments& args) {
  RfRadioTool radio(run.configMemory(), run.session().channels);
  radio.loadSettings();
  if (Given(args.offsetGiven)) {
    const Outcome outcome = radio.setFrequencyOffset(static_cast<int>(args.value));
    if (outcome != Outcome::Done)
      return FinishAction(run, outcome, "setting the frequency offset", {}, {});
  }
  return run.done("Frequency offset: " + radio.frequencyOffsetText() + "\n",
                  {{"frequencyOffset", run.device().settings.frequencyOffset}});
}

void AddFile(CLI::App& command, RfPageArguments& args, const char* what) {
  command.add_option("FILE", args.file, what)->required()->type_name("FILE");
}

}  // namespace

void AddRfPageCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<RfPageArguments>();
  CLI::App& rf = *program.get_subcommand("rf");

  CLI::App& dump = table.add(rf, "dump", "an RF page's registers of a bank, \"R%d %02X\" a line",
                             [args](CommandRun& run) { return Dump(run, *args); });
  dump.add_option("--bank", args->bank, "the bank, 0 to 15")
      ->required()
      ->type_name("N")
      ->transform(DecimalNumber(15));
  dump.add_option("--page", args->page, "1: R0-R31 (default), 2: R32-R63")
      ->type_name("N")
      ->check(OneOf({"1", "2"}));

  AddFile(table.add(rf, "save", "saves banks 0, 4 and 5, R0-R63 each (192 lines)",
                    [args](CommandRun& run) { return Save(run, *args); }),
          *args, "the RF register file to write");
  AddFile(table.add(rf, "load",
                    "writes an RF register file's registers, then starts the VCO calibration",
                    [args](CommandRun& run) { return Load(run, *args); }),
          *args, "the RF register file to read");

  CLI::App& bit = table.add(rf, "bit", "sets or clears one bit of an RF register, prints it after",
                            [args](CommandRun& run) { return Bit(run, *args); });
  AddDecimalArgument(bit, "BANK", args->bank, 15, "the bank, 0 to 15");
  AddDecimalArgument(bit, "REG", args->reg, 63, "the register in the bank, 0 to 63");
  AddDecimalArgument(bit, "BIT", args->bit, 7, "the bit, 0 to 7");
  bit.add_option("STATE", args->state, "1 sets the bit, 0 clears it")
      ->required()
      ->type_name("0|1")
      ->check(OneOf({"0", "1"}));

  CLI::App& channel = table.add(rf, "channel", "the synthesiser table, or one channel's line",
                                [args](CommandRun& run) { return Channel(run, *args); });
  args->channelGiven = channel.add_option("N", args->channel, "the channel, 1 to 14")
                           ->type_name("N")
                           ->transform(DecimalNumber(14, 1));

  CLI::App& txpower = table.add(
      program, "txpower",
      "shows the TX power codes (hexadecimal, 0.5 dB steps), or sets one as RF page 1 does",
      [args](CommandRun& run) { return TxPower(run, *args); });
  args->pathGiven = txpower.add_option("PATH", args->path, "0 (MAC 0x13B0 bits 0-5) or 1")
                        ->type_name("0|1")
                        ->check(OneOf({"0", "1"}));
  args->valueGiven = txpower.add_option("VALUE", args->value, "the code, 00 to 3F")
                         ->type_name("HEX")
                         ->transform(HexNumber(registers::kTxPowerMax, "00 to 3F"));

  CLI::App& offset =
      table.add(program, "freq-offset", "shows the frequency offset (RF bank 0 R12), or sets it",
                [args](CommandRun& run) { return FrequencyOffset(run, *args); });
  args->offsetGiven = offset.add_option("VALUE", args->value, "the offset, 00 to FF")
                          ->type_name("HEX")
                          ->transform(HexNumber(registers::kFrequencyOffsetMax, "00 to FF"));
}

}  // namespace kqa::cli
