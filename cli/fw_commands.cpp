// fw: the MCU's firmware (download, status, function and raw commands),
// through the TX/RX bench's firmware logic.
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "app/txrx/firmware_loader.h"
#include "app/txrx/radio_control.h"
#include "cli/arguments.h"
#include "cli/cli_output.h"
#include "cli/command_table.h"
#include "cli/fwcal_common.h"
#include "platform/bytes/little_endian.h"

namespace kqa::cli {
namespace {

using device::Format;
using txrx::FirmwareLoader;

struct FwArguments {
  std::string file;
  bool headerless = false;
  std::uint32_t function = 0;
  std::uint32_t parameter = 0;
  std::uint32_t id = 0;
  std::string payload;
};

int FwLoad(CommandRun& run, const FwArguments& args) {
  if (args.headerless && args.file.empty()) return run.usage("--headerless needs the image FILE");
  FirmwareLoader loader(run.device());
  const page::Outcome outcome = args.file.empty() ? loader.downloadKestrelBin()
                                : args.headerless ? loader.loadHeaderless(args.file)
                                                  : loader.downloadFile(args.file);
  if (outcome != page::Outcome::Done)
    return EndOutcome(run, outcome, loader.lastFile().empty() ? "no firmware file was found"
                                                              : "the firmware of " + loader.lastFile() + " was not loaded");
  return run.done(Format("Loaded %s: the MCU runs it\n", loader.lastFile().c_str()),
                  {{"file", loader.lastFile()}, {"headerless", args.headerless}, {"running", true}});
}

int FwStatus(CommandRun& run) {
  FirmwareLoader loader(run.device());
  loader.adoptRunningState();
  txrx::FirmwareStatus status;
  if (!loader.readStatus(status)) return run.fail("the firmware status could not be read");
  return run.done(Format("mode %08X, version %08X, %s\n", status.mode, status.version,
                         status.ready ? "ready (the MCU runs)" : "not ready (the MCU does not run)"),
                  {{"mode", status.mode}, {"version", status.version}, {"running", status.running},
                   {"ready", status.ready}});
}

int FwFunction(CommandRun& run, const FwArguments& args) {
  FirmwareLoader loader(run.device());
  if (!loader.adoptRunningState())
    return run.fail("the firmware does not run: function commands are sent only while it runs (fw load)");
  bool receiving = ReceptionOn(run.device());
  txrx::BenchCalibrations none;
  txrx::RadioControl radio({run.device(), run.session().memoryMode}, run.session().channels, receiving, none);
  if (radio.sendFunction(args.function, args.parameter) != 0)
    return run.fail(Format("the firmware did not answer function %u", args.function));
  return run.done(Format("function %u, parameter %08X: answered\n", args.function, args.parameter),
                  {{"function", args.function}, {"parameter", args.parameter}, {"answered", true}});
}

int FwCommand(CommandRun& run, const FwArguments& args) {
  std::vector<std::uint8_t> payload(args.payload.size() / 2);
  device::HexToBytes(payload, args.payload);  // checked when the line was read
  FirmwareLoader loader(run.device());
  bool receiving = ReceptionOn(run.device());
  std::vector<std::uint8_t> response;
  const page::Outcome outcome = loader.command(static_cast<std::uint8_t>(args.id), payload, receiving, response);
  if (outcome != page::Outcome::Done) return EndOutcome(run, outcome, Format("command %u was not answered", args.id));
  const std::size_t length = std::min<std::size_t>((GetLe32(response, 0) & 0x1FFF) + 4, response.size());
  response.resize(length);
  return run.done(HexDump(0, response), {{"id", args.id}, {"response", HexString(response)}});
}

}  // namespace

void AddFirmwareCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<FwArguments>();
  CLI::App& fw = CommandTable::Group(program, "fw", "the MCU's firmware");

  CLI::App& load = table.add(fw, "load",
                             "downloads FILE, or the first \"Kestrel.bin\" of: the working directory, the installed "
                             "image, the build's image; says which it used",
                             [args](CommandRun& run) { return FwLoad(run, *args); });
  load.add_option("FILE", args->file, "the image (\"Kestrel.bin\" format, or headerless with --headerless)");
  load.add_flag("--headerless", args->headerless, "FILE is a headerless image: the vector block, then the ILM");

  table.add(fw, "status", "firmware mode, version and whether it runs (ready)", FwStatus);

  CLI::App& func = table.add(fw, "func", "sends function command N with PARAM (only while the firmware runs)",
                             [args](CommandRun& run) { return FwFunction(run, *args); });
  func.add_option("N", args->function, "the function number")->required()->type_name("N")->transform(DecimalNumber(0xFFFFFFFF));
  func.add_option("PARAM", args->parameter, "its 32-bit parameter")->required()->type_name("HEX")->transform(HexNumber());

  CLI::App& cmd = table.add(fw, "cmd", "sends command ID with HEXPAYLOAD and prints the firmware's answer",
                            [args](CommandRun& run) { return FwCommand(run, *args); });
  cmd.add_option("ID", args->id, "the command id")->required()->type_name("N")->transform(DecimalNumber(127));
  cmd.add_option("HEXPAYLOAD", args->payload, "at most 128 bytes, two hexadecimal digits each")
      ->type_name("HEX")
      ->check(HexBytes())
      ->check(CLI::Validator(
          [](std::string& text) {
            return text.size() > 2 * 128 ? std::string("HEXPAYLOAD holds more than 128 bytes") : std::string();
          },
          "", "at most 128 bytes"));
}

}  // namespace kqa::cli
