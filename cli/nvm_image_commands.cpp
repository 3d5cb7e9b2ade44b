// nvm save, load, mac and led, and efuse forecast: the EEPROM page's logic
// (app/nvm/eeprom_tool.h) in the shell. They join the "nvm" and "efuse"
// groups of nvm_commands.cpp.
#include <filesystem>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/device/efuse.h"
#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "app/nvm/eeprom_tool.h"
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/efuse_plan_text.h"
#include "cli/page_outcome.h"
#include "cli/progress_bar.h"

namespace kqa::cli {
namespace {

using device::Format;
using nvm::EepromTool;
using page::Outcome;

struct ImageArguments {
  std::string file;
  bool raw = false;
  bool physical = false;
  bool keepTxPower = false;
  std::string mac;
  std::string polarity = "high";
  std::vector<std::string> assignments;
};

std::string BackEnd(CommandRun& run) {
  return std::string(device::BackEndName(device::ActiveBackEnd(run.memoryMode())));
}

std::size_t FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::size_t>(size);
}

int NvmSave(CommandRun& run, const ImageArguments& args) {
  EepromTool tool(run.configMemory());
  tool.rawMode = args.raw;
  if (args.physical) {
    if (args.raw) return run.usage("--raw and --physical exclude each other");
    if (!tool.access().onEfuse())
      return run.usage("--physical shows the eFuse's physical bytes, and the configuration memory is the " +
                       BackEnd(run) + " (choose the eFuse with --nvm efuse)");
    tool.access().view = nvm::EfuseView::Physical;
  }
  ProgressBar bar(run.err(), "Reading");
  tool.progress = bar.sink();
  const Outcome outcome = tool.saveTo(args.file);
  const std::size_t size = FileSize(args.file);
  const std::string what = args.raw ? "the EEPROM's RAW 8 KB" : args.physical ? "the eFuse's physical bytes" : BackEnd(run);
  return FinishPageAction(run, outcome, "the save", Format("Saved %zu bytes of %s to %s\n", size, what.c_str(), args.file.c_str()),
                          {{"file", args.file}, {"bytes", size}, {"backEnd", BackEnd(run)}, {"raw", args.raw},
                           {"physical", args.physical}});
}

int NvmLoad(CommandRun& run, const ImageArguments& args) {
  EepromTool tool(run.configMemory());
  tool.rawMode = args.raw;
  tool.keepTxPower = args.keepTxPower;
  if (args.raw && args.keepTxPower) return run.usage("a RAW load keeps nothing: --raw and --keep-txpower exclude each other");
  ProgressBar bar(run.err(), args.raw ? "Writing" : "Loading");
  tool.progress = bar.sink();
  const Outcome outcome = tool.loadFrom(args.file);
  if (outcome == Outcome::Done) {
    if (const int kept = KeepBufferImage(run); kept != kExitOk) return kept;
  }
  Json json{{"file", args.file}, {"backEnd", args.raw ? std::string("EEPROM (RAW)") : BackEnd(run)}};
  std::string text = Format("Loaded %s into the %s", args.file.c_str(), args.raw ? "EEPROM (RAW 8 KB)" : BackEnd(run).c_str());
  if (!args.raw && tool.access().onEfuse()) {
    tool.refreshFreeBlocks();
    json["freeBlocks"] = tool.freeBlocks();
    text += Format("; %s", tool.freeBlockText().c_str()) + " blocks free";
  }
  return FinishPageAction(run, outcome, "the load", text + "\n", json);
}

int NvmMac(CommandRun& run) {
  EepromTool tool(run.configMemory());
  const Outcome outcome = tool.readMac();
  return FinishPageAction(run, outcome, "reading the MAC address", tool.macText + "\n", {{"mac", tool.macText}});
}

int NvmMacSet(CommandRun& run, const ImageArguments& args) {
  EepromTool tool(run.configMemory());
  tool.macText = args.mac;
  const Outcome outcome = tool.setMac();
  if (outcome == Outcome::Done) {
    if (const int kept = KeepBufferImage(run); kept != kExitOk) return kept;
  }
  return FinishPageAction(run, outcome, "setting the MAC address",
                          Format("MAC address %s written (%s)\n", tool.macText.c_str(), BackEnd(run).c_str()),
                          {{"mac", tool.macText}, {"backEnd", BackEnd(run)}});
}

nvm::LedActive ActiveOf(const std::string& polarity) {
  return polarity == "low" ? nvm::LedActive::Low : nvm::LedActive::High;
}

// The words, then each combo's name, item and item text.
int ShowLeds(CommandRun& run, EepromTool& tool, const std::string& polarity) {
  nvm::LedWords words;
  Outcome outcome = tool.readLedWords(words);
  if (outcome == Outcome::Done) outcome = tool.chooseLedActive(ActiveOf(polarity));
  std::string text = Format("3C %04X\n3E %04X\n40 %04X\n", words.mode, words.activity, words.polarity);
  Json leds = Json::array();
  for (std::size_t i = 0; i < nvm::kLedComboCount; ++i) {
    const nvm::LedCombo& combo = nvm::LedCombos()[i];
    const std::optional<int> item = tool.leds[i];
    const std::string itemText =
        item ? std::string(nvm::LedItems(combo.kind)[static_cast<std::size_t>(*item)]) : "(none)";
    text += Format("%s\t%s\t%s\n", std::string(combo.name).c_str(), item ? std::to_string(*item).c_str() : "-",
                   itemText.c_str());
    leds.push_back({{"name", combo.name}, {"item", item ? Json(*item) : Json(nullptr)}, {"text", itemText}});
  }
  return FinishPageAction(run, outcome, "reading the LED words", text,
                          {{"words", {{"3C", Format("%04X", words.mode)},
                                      {"3E", Format("%04X", words.activity)},
                                      {"40", Format("%04X", words.polarity)}}},
                           {"polarity", polarity},
                           {"leds", leds}});
}

int NvmLed(CommandRun& run, const ImageArguments& args) {
  EepromTool tool(run.configMemory());
  return ShowLeds(run, tool, args.polarity);
}

int NvmLedSet(CommandRun& run, const ImageArguments& args) {
  // NAME=ITEM, all checked before anything is read or written.
  std::vector<std::pair<std::size_t, int>> chosen;
  for (const std::string& assignment : args.assignments) {
    const std::size_t equals = assignment.find('=');
    const auto combo = nvm::FindLedCombo(assignment.substr(0, equals));
    if (equals == std::string::npos || !combo)
      return run.usage("\"" + assignment + "\" is not NAME=ITEM with NAME one of g-off a-off g-down a-down "
                       "g-linkg a-linkg g-linka a-linka act-off act-down act-linkg act-linka");
    const std::size_t items = nvm::LedItems(nvm::LedCombos()[*combo].kind).size();
    std::uint32_t item = 0;
    if (!device::ParseDecimalNumber(assignment.substr(equals + 1), item) || item >= items)
      return run.usage(Format("\"%s\": the item of %s is a number from 0 to %zu", assignment.c_str(),
                              assignment.substr(0, equals).c_str(), items - 1));
    chosen.emplace_back(*combo, static_cast<int>(item));
  }
  EepromTool tool(run.configMemory());
  // The other combos keep what the words say now.
  Outcome outcome = tool.chooseLedActive(ActiveOf(args.polarity));
  for (auto [combo, item] : chosen) tool.leds[combo] = item;
  if (outcome == Outcome::Done) outcome = tool.setLeds();
  if (outcome != Outcome::Done) return FinishPageAction(run, outcome, "setting the LED words", "", {});
  if (const int kept = KeepBufferImage(run); kept != kExitOk) return kept;
  return ShowLeds(run, tool, args.polarity);
}

int EfuseForecastCommand(CommandRun& run, const ImageArguments& args) {
  EepromTool tool(run.configMemory());
  if (!tool.access().onEfuse())
    return run.usage("the forecast is for loading into the eFuse, and the configuration memory is the " +
                     BackEnd(run) + " (choose the eFuse with --nvm efuse)");
  tool.keepTxPower = args.keepTxPower;
  device::EfuseWritePlan plan;
  const Outcome outcome = tool.planEfuseLoad(args.file, plan);
  if (outcome != Outcome::Done) return FinishPageAction(run, outcome, "the forecast", "", {});

  // The page's line first, then the plan block by block, as "efuse plan" shows it.
  const int forecast = nvm::EfuseForecast(plan);
  Json json;
  const std::string text = Format("Free block before write=%d, after write=%d\n", plan.freeBefore, forecast) +
                           PlanText(run.memoryMode(), plan, json);
  json["file"] = args.file;
  json["forecast"] = forecast;
  if (!plan.canRun()) {
    // The load would be refused with the page's overflow message; nothing is burnt.
    json["refusal"] = forecast < 0 ? nvm::EfuseOverflowMessage(plan.freeBefore, forecast)
                                   : device::EfuseRefusalReason(plan);
    if (run.json())
      run.out() << JsonLine(run.withDevice(json));
    else
      run.out() << text;
    const std::string refusal = json["refusal"].get<std::string>();
    run.err() << "kestrelqa-cli: the load would be refused:" << (refusal.starts_with(' ') ? "" : " ") << refusal
              << "; nothing was burnt\n";
    return kExitFailed;
  }
  return run.done(text + "Nothing was burnt (a forecast only).\n", json);
}

}  // namespace

void AddNvmImageCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<ImageArguments>();
  CLI::App& nvm = CommandTable::Group(program, "nvm", "the configuration memory (EEPROM, eFuse or image)");

  CLI::App& save = table.add(nvm, "save", "saves the memory to a .bin image (1024 bytes; 768 with --physical)",
                             [args](CommandRun& run) { return NvmSave(run, *args); });
  save.add_option("FILE", args->file, "the image file")->required();
  save.add_flag("--raw", args->raw, "the external EEPROM's 8 KB through its second path");
  save.add_flag("--physical", args->physical, "the eFuse's physical bytes (blocks and map)");

  CLI::App& load = table.add(nvm, "load", "loads the first 512 bytes of a .bin image (RAW: 8192)",
                             [args](CommandRun& run) { return NvmLoad(run, *args); });
  load.add_option("FILE", args->file, "the image file")->required()->check(CLI::ExistingFile);
  load.add_flag("--raw", args->raw, "the external EEPROM's 8 KB through its second path");
  load.add_flag("--keep-txpower", args->keepTxPower,
                "keep the MAC address, frequency offset and TX power tables the memory holds");

  CLI::App& mac = table.add(nvm, "mac", "the MAC address, 12 hexadecimal digits",
                            [](CommandRun& run) { return NvmMac(run); });
  CLI::App& macSet = table.add(mac, "set", "writes the MAC address",
                               [args](CommandRun& run) { return NvmMacSet(run, *args); });
  macSet.add_option("HEX12", args->mac, "exactly 12 hexadecimal digits")->required();

  CLI::App& led = table.add(nvm, "led", "the LED words 0x3C, 0x3E, 0x40 and the twelve LED behaviours",
                            [args](CommandRun& run) { return NvmLed(run, *args); });
  led.add_option("--polarity", args->polarity, "LEDs lit by a high or a low level (default high)")
      ->check(OneOf({"high", "low"}));
  CLI::App& ledSet = table.add(led, "set", "sets LED behaviours, e.g. \"nvm led set --polarity low g-off=0\"",
                               [args](CommandRun& run) { return NvmLedSet(run, *args); });
  ledSet.add_option("--polarity", args->polarity, "LEDs lit by a high or a low level")
      ->required()
      ->check(OneOf({"high", "low"}));
  ledSet.add_option("NAME=ITEM", args->assignments,
                    "a behaviour: g-off a-off g-down a-down g-linkg a-linkg g-linka a-linka act-off act-down "
                    "act-linkg act-linka, = the item's number as \"nvm led\" lists it")
      ->required();

  CLI::App& efuse = CommandTable::Group(program, "efuse", "the eFuse itself");
  CLI::App& forecast = table.add(efuse, "forecast", "what loading a .bin image into the eFuse would burn; burns nothing",
                                 [args](CommandRun& run) { return EfuseForecastCommand(run, *args); });
  forecast.add_option("FILE", args->file, "the image file")->required()->check(CLI::ExistingFile);
  forecast.add_flag("--keep-txpower", args->keepTxPower, "as \"nvm load --keep-txpower\" would load it");
}

}  // namespace kqa::cli
