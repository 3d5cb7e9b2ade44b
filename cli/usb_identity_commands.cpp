// usbid, strings and sn: the EEPROM2 page's logic (app/nvm/usb_identity_tool.h)
// in the shell.
#include <functional>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/text_format.h"
#include "app/nvm/usb_identity_tool.h"
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/page_outcome.h"

namespace kqa::cli {
namespace {

using device::Format;
using nvm::UsbIdentityTool;
using page::Outcome;

struct IdentityArguments {
  // usbid set: each value applies only when given.
  std::uint32_t vid = 0, pid = 0, release = 0, flashVid = 0, flashPid = 0, flashRelease = 0;
  std::string vendor, product, revision;
  std::vector<CLI::Option*> given;  // in the order above: vid ... revision
  // strings
  std::string text;
  std::uint32_t number = 0;
  std::string onOff;

  bool has(std::size_t option) const { return given[option]->count() > 0; }
};

std::string Index(const std::optional<int>& index) {
  return index ? std::to_string(*index) : "-";
}

Json FunctionJson(const nvm::UsbFunctionFields& fields) {
  return {{"vid", fields.vendorText},
          {"pid", fields.productText},
          {"release", fields.releaseText},
          {"manufacturerString", fields.manufacturer ? Json(*fields.manufacturer) : Json(nullptr)},
          {"productString", fields.product ? Json(*fields.product) : Json(nullptr)},
          {"serialNumberString", fields.serial ? Json(*fields.serial) : Json(nullptr)}};
}

std::string FunctionText(const char* name, const nvm::UsbFunctionFields& fields) {
  return Format("%-6sVID %s  PID %s  Release %s  strings: manufacturer %s, product %s, serial number %s\n", name,
                fields.vendorText.c_str(), fields.productText.c_str(), fields.releaseText.c_str(),
                Index(fields.manufacturer).c_str(), Index(fields.product).c_str(), Index(fields.serial).c_str());
}

// A tool that has read the memory, or the exit code of why it could not.
int Activate(CommandRun& run, UsbIdentityTool& tool) {
  const Outcome outcome = tool.activate();
  if (const std::string reason = tool.unreachableReason(); !reason.empty()) return RefusePageAction(run, reason);
  return outcome == Outcome::Done ? kExitOk : run.fail("the configuration memory could not be read");
}

int ShowIdentity(CommandRun& run, UsbIdentityTool& tool) {
  std::string text = FunctionText("WLAN", tool.wlan) + FunctionText("FLASH", tool.flash);
  text += "Vendor Information: " + tool.vendorInformation + "\nPruduct Name: " + tool.productName +
          "\nPruduct Revision: " + tool.productRevision + "\nSerial number: " +
          (tool.serialNumberEnabled() ? "on" : "off") + "\n";
  return run.done(text, {{"wlan", FunctionJson(tool.wlan)},
                         {"flash", FunctionJson(tool.flash)},
                         {"vendorInformation", tool.vendorInformation},
                         {"productName", tool.productName},
                         {"productRevision", tool.productRevision},
                         {"serialNumber", tool.serialNumberEnabled()}});
}

int UsbidShow(CommandRun& run) {
  UsbIdentityTool tool(run.configMemory());
  if (const int read = Activate(run, tool); read != kExitOk) return read;
  return ShowIdentity(run, tool);
}

int UsbidSet(CommandRun& run, const IdentityArguments& args) {
  UsbIdentityTool tool(run.configMemory());
  if (const int read = Activate(run, tool); read != kExitOk) return read;
  std::string* hex[] = {&tool.wlan.vendorText, &tool.wlan.productText, &tool.wlan.releaseText,
                        &tool.flash.vendorText, &tool.flash.productText, &tool.flash.releaseText};
  const std::uint32_t values[] = {args.vid, args.pid, args.release, args.flashVid, args.flashPid, args.flashRelease};
  for (std::size_t i = 0; i < 6; ++i)
    if (args.has(i)) *hex[i] = Format("%04X", values[i]);
  std::string* texts[] = {&tool.vendorInformation, &tool.productName, &tool.productRevision};
  const std::string* given[] = {&args.vendor, &args.product, &args.revision};
  for (std::size_t i = 0; i < 3; ++i)
    if (args.has(6 + i)) *texts[i] = *given[i];
  // The flash function's fields are written once any of them is given.
  for (std::size_t i = 3; i < 9; ++i) tool.withFlash = tool.withFlash || args.has(i);
  const Outcome outcome = tool.editIdentity();
  if (outcome != Outcome::Done) return FinishPageAction(run, outcome, "writing the USB identity", "", {});
  if (const int kept = KeepBufferImage(run); kept != kExitOk) return kept;
  tool.readIdentity();
  return ShowIdentity(run, tool);
}

int StringsList(CommandRun& run, const UsbIdentityTool& tool) {
  std::string text;
  Json strings = Json::array();
  for (const nvm::StoredString& string : tool.strings()) {
    text += Format("%zu\t%s\n", string.index, string.text.c_str());
    strings.push_back({{"number", string.index}, {"text", string.text}, {"offset", string.offset}});
  }
  return run.done(text, {{"strings", strings}, {"free", tool.freeStringSpace()}});
}

// Runs a change of the string area, then lists the strings.
int ChangeStrings(CommandRun& run, const char* what, const std::function<Outcome(UsbIdentityTool&)>& change) {
  UsbIdentityTool tool(run.configMemory());
  if (const int read = Activate(run, tool); read != kExitOk) return read;
  const Outcome outcome = change(tool);
  if (outcome != Outcome::Done) return FinishPageAction(run, outcome, what, "", {});
  if (const int kept = KeepBufferImage(run); kept != kExitOk) return kept;
  return StringsList(run, tool);
}

int StringsReplace(CommandRun& run, const IdentityArguments& args) {
  return ChangeStrings(run, "replacing the string", [&](UsbIdentityTool& tool) {
    const auto& strings = tool.strings();
    for (std::size_t row = 0; row < strings.size(); ++row)
      if (strings[row].index == args.number) {
        tool.stringText = args.text;
        return tool.replaceString(row);
      }
    run.device().prompt.showMessage(Format("There is no string %u: \"strings list\" lists them.", args.number));
    return Outcome::Refused;
  });
}

int SerialNumber(CommandRun& run, const IdentityArguments& args) {
  UsbIdentityTool tool(run.configMemory());
  if (const int read = Activate(run, tool); read != kExitOk) return read;
  const bool on = args.onOff == "on";
  const Outcome outcome = tool.setSerialNumber(on);
  if (outcome == Outcome::Done) {
    if (const int kept = KeepBufferImage(run); kept != kExitOk) return kept;
  }
  return FinishPageAction(run, outcome, "switching the serial number", Format("Serial number %s\n", on ? "on" : "off"),
                          {{"serialNumber", on}});
}

}  // namespace

void AddUsbIdentityCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<IdentityArguments>();

  CLI::App& usbid = CommandTable::Group(program, "usbid", "the USB identity the configuration memory gives the chip");
  table.add(usbid, "show", "the WLAN and flash functions' identity, texts and serial number", UsbidShow);
  CLI::App& set = table.add(usbid, "set", "writes the values given; the flash function's when any of its is given",
                            [args](CommandRun& run) { return UsbidSet(run, *args); });
  const std::pair<const char*, std::uint32_t*> numbers[] = {
      {"--vid", &args->vid},           {"--pid", &args->pid},           {"--release", &args->release},
      {"--flash-vid", &args->flashVid}, {"--flash-pid", &args->flashPid}, {"--flash-release", &args->flashRelease}};
  for (auto [name, value] : numbers)
    args->given.push_back(set.add_option(name, *value, "4 hexadecimal digits")
                              ->type_name("HEX")
                              ->transform(HexNumber(0xFFFF, "0000 to FFFF")));
  args->given.push_back(set.add_option("--vendor", args->vendor, "the flash function's vendor text (8 characters)"));
  args->given.push_back(set.add_option("--product", args->product, "the flash function's product text (16 characters)"));
  args->given.push_back(set.add_option("--revision", args->revision, "the flash function's revision text (4 characters)"));

  CLI::App& strings = CommandTable::Group(program, "strings", "the USB string descriptors");
  table.add(strings, "list", "one \"number<TAB>text\" a line", [](CommandRun& run) {
    UsbIdentityTool tool(run.configMemory());
    if (const int read = Activate(run, tool); read != kExitOk) return read;
    return StringsList(run, tool);
  });
  CLI::App& add = table.add(strings, "add", "adds a string after the last one", [args](CommandRun& run) {
    return ChangeStrings(run, "adding the string", [&](UsbIdentityTool& tool) {
      tool.stringText = args->text;
      return tool.addString();
    });
  });
  add.add_option("TEXT", args->text, "at most 62 characters")->required();
  CLI::App& replace = table.add(strings, "replace", "replaces string N",
                                [args](CommandRun& run) { return StringsReplace(run, *args); });
  replace.add_option("N", args->number, "the string's number, as \"strings list\" shows it")
      ->required()
      ->transform(DecimalNumber(15));
  replace.add_option("TEXT", args->text, "at most 62 characters, and no longer than the room before the next string")
      ->required();
  table.add(strings, "clear", "removes every string", [](CommandRun& run) {
    return ChangeStrings(run, "clearing the strings", [](UsbIdentityTool& tool) { return tool.clearStrings(); });
  });
  table.add(strings, "default", "writes the default string area", [](CommandRun& run) {
    return ChangeStrings(run, "writing the default strings", [](UsbIdentityTool& tool) { return tool.defaultStrings(); });
  });

  CLI::App& sn = table.add(program, "sn", "announces the serial number string (on) or not (off)",
                           [args](CommandRun& run) { return SerialNumber(run, *args); });
  sn.add_option("STATE", args->onOff, "on or off")->required()->check(OneOf({"on", "off"}));
}

}  // namespace kqa::cli
