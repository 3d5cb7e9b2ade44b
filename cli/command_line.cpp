#include "cli/command_line.h"

#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/image_file.h"
#include "app/device/messages.h"
#include "app/device/program_version.h"
#include "app/device/startup.h"
#include "cli/arguments.h"
#include "cli/command_table.h"

namespace kqa::cli {
namespace {

// Every family of commands, in the order --help lists them.
constexpr void (*kFamilies[])(CLI::App&, CommandTable&) = {
    AddInfoCommand,      AddRegisterCommands,    AddBbpPageCommands, AddRfPageCommands,
    AddNvmCommands,      AddNvmImageCommands,    AddUsbIdentityCommands,
    AddFlashCommands,    AddIoctlCommand,        AddScriptCommand,
    AddSelftestCommand,  AddBeaconsCommand,      AddDaemonCommands,
    AddMeasureCommands,  AddSniffCommands,       AddTxRxCommands,
    AddFirmwareCommands, AddCalibrationCommands,
};

constexpr const char* kDescription =
    "kestrelqa-cli: the device access layer of kestrelqa in an engineer's shell.";

constexpr const char* kConventions =
    "Addresses, offsets and values are hexadecimal (\"0x\" allowed); BBP ids, RF banks and\n"
    "registers, counts and lengths decimal. Options may stand anywhere on the line.\n"
    "Each command has its own --help, e.g. kestrelqa-cli nvm write --help.";

// The deepest command the line named, e.g. "reg" in "reg frob".
const CLI::App* DeepestParsed(const CLI::App& program) {
  const CLI::App* deepest = &program;
  while (!deepest->get_subcommands().empty()) deepest = deepest->get_subcommands().front();
  return deepest;
}

std::string SubcommandNames(const CLI::App& group) {
  std::string names;
  const auto all = group.get_subcommands([](const CLI::App*) { return true; });
  for (std::size_t i = 0; i < all.size(); ++i)
    names += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i]->get_name();
  return names;
}

// CLI11's message, in the words kestrelqa-cli uses.
std::string UsageMessage(const CLI::App& program, const CLI::ParseError& error) {
  std::string message = error.what();
  // "VALUE: must be hexadecimal ..." reads "VALUE must be hexadecimal ...".
  if (error.get_name() == "ValidationError") {
    if (const std::size_t colon = message.find(": "); colon != std::string::npos)
      message.replace(colon, 2, " ");
    return message;
  }
  const CLI::App* deepest = DeepestParsed(program);
  // A command with commands of its own that runs without one too ("sniff")
  // is not a family: its own options' messages stand.
  if (deepest->get_require_subcommand_min() == 0 ||
      deepest->get_subcommands([](const CLI::App*) { return true; }).empty())
    return message;
  // The line stopped at a family (or before any): say which commands there are.
  std::string word;
  for (const std::string& remaining : program.remaining(true))
    if (!remaining.empty() && remaining.front() != '-') {
      word = remaining;
      break;
    }
  const std::string path = deepest == &program ? std::string() : deepest->get_name() + " ";
  if (!word.empty()) return "unknown command \"" + path + word + "\"";
  if (deepest == &program) return "no command given";
  return deepest->get_name() + " needs a command: " + SubcommandNames(*deepest);
}

}  // namespace

CommandLine::CommandLine()
    : app_(std::make_unique<CLI::App>(kDescription, "kestrelqa-cli")),
      table_(std::make_unique<CommandTable>()) {
  CLI::App& program = *app_;
  // Set before the commands are added, which inherit it: the global
  // options may follow the command's own words.
  program.fallthrough();
  program.require_subcommand(1);
  program.footer(kConventions);
  program.add_option("--device", options_.device,
                     "emulated | emulated:efuse | usb[:VVVV:PPPP] | socket[:PATH]\n"
                     "(default: a running daemon's socket, else a real chip; the emulated\n"
                     "chip only when chosen)")
      ->type_name("KIND")
      ->check(NotEmpty());
  program.add_option("--state", options_.stateFile, "non-volatile state file of the emulated chip")
      ->type_name("FILE")
      ->check(NotEmpty());
  program.add_option("--environment", options_.environmentFile,
                     "radio environment file of the emulated chip (chip/README.md)")
      ->type_name("FILE")
      ->check(NotEmpty());
  program.add_option("--seed", options_.seed,
                     "the emulated chip's serial number and radio draws (decimal)")
      ->type_name("N")
      ->check(NotEmpty());
  program.add_option("--timing", options_.timing,
                     "usb2: the emulated chip answers about as fast as over USB 2.0")
      ->type_name("T")
      ->check(OneOf({"usb2", "immediate"}));
  program.add_option("--nvm", options_.nvm, "override the configuration-memory back end")
      ->type_name("BACKEND")
      ->check(OneOf({"eeprom", "efuse", "buffer"}));
  program.add_option("--eeprom-file", options_.eepromFile,
                     "image of the buffer back end (default eeprom.bin)")
      ->type_name("FILE");
  program.add_flag("--json", options_.json, "machine-readable output");
  program.add_flag("--yes", options_.yes,
                   "confirm eFuse writes without asking (needed without a terminal)");
  program.add_flag("--verbose", options_.verbose, "show the connection's traces on standard error");
  program.set_version_flag("--version", std::string(device::ProgramVersion()),
                           "the program's version");
  for (const auto add : kFamilies) add(program, *table_);
}

CommandLine::~CommandLine() = default;

std::optional<int> CommandLine::parse(int argc, const char* const* argv, std::ostream& out,
                                      std::ostream& err) {
  // Known before CLI11 reads anything, so that even a line it refuses is
  // answered in JSON.
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--json") options_.json = true;
  try {
    app_->parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app_->help();
    return kExitOk;
  } catch (const CLI::CallForVersion& version) {
    out << "kestrelqa-cli " << version.what() << '\n';
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    const std::string message = UsageMessage(*app_, error);
    err << "kestrelqa-cli: " << message << "\n(kestrelqa-cli --help lists the commands)\n";
    if (options_.json) out << JsonLine({{"ok", false}, {"message", message}});
    return kExitUsage;
  }
  return std::nullopt;
}

int CommandLine::refuse(const std::string& message, int exitCode, std::ostream& out,
                        std::ostream& err) const {
  err << "kestrelqa-cli: " << message << '\n';
  if (options_.json) out << JsonLine({{"ok", false}, {"message", message}});
  return exitCode;
}

int CommandLine::runOn(ioctl::DeviceInterfaceProvider& provider, Clock& clock,
                       const DeviceLabel& label, const Terminal& terminal) {
  TerminalPrompt prompt(terminal.in, terminal.err, terminal.interactive, options_.yes);
  device::DeviceContext context(provider, prompt, clock);
  context.trace = nullptr;
  if (options_.verbose) context.trace = [&terminal](std::string_view text) { terminal.err << text; };
  device::ConfigMemoryMode memoryMode;
  device::ChannelState channels;
  sniffer::SnifferBuffer snifferBuffer;
  const device::StartupReport startup =
      device::RunDeviceStartup(context, memoryMode, channels, {.eepromFile = ""});
  CliSession session{context,       memoryMode,   channels,
                     snifferBuffer, prompt,       startup,
                     label.description, label.emulated, terminal.out,
                     terminal.err,  label.driverInProcess, terminal.progressLine};
  const int exitCode = run(session);
  device::CloseDevice(context);
  return exitCode;
}

std::optional<int> CommandLine::runWithoutDevice(std::ostream& out, std::ostream& err) {
  const DevicelessAction* action = table_->chosenDeviceless();
  if (!action) return std::nullopt;
  return (*action)(options_, out, err);
}

int CommandLine::run(CliSession& session) {
  CommandRun command(options_, session);
  const CommandAction* action = table_->chosen();
  if (!action) return command.usage("no command given");

  device::DeviceContext& device = session.device;
  if (!options_.nvm.empty()) {
    const device::ConfigMemoryBackEnd backEnd =
        options_.nvm == "buffer"  ? device::ConfigMemoryBackEnd::Buffer
        : options_.nvm == "efuse" ? device::ConfigMemoryBackEnd::Efuse
                                  : device::ConfigMemoryBackEnd::Eeprom;
    std::string problem;
    device::ConfigMemoryMode& memoryMode = session.memoryMode;
    if (backEnd == device::ConfigMemoryBackEnd::Buffer && !memoryMode.eepromFileLoaded &&
        !device::LoadEepromImageFile(memoryMode, options_.eepromFile, &problem))
      return command.fail("the buffer back end cannot use its image: " + problem);
    device::SelectBackEnd(memoryMode, backEnd);
  }
  if (!device::EnsureDeviceOpen(device)) {
    using Failure = ioctl::DeviceInterfaceProvider::OpenFailure;
    const bool absent = device.lastOpenFailure == Failure::NoInstance ||
                        device.lastOpenFailure == Failure::UnknownClass;
    const std::string why = device::messages::DeviceUnavailable(device.lastOpenFailure, device.lastOpenError);
    return command.fail(absent ? "no device: " + why : why, device.lastOpenError);
  }
  command.deviceOpened();
  return (*action)(command);
}

}  // namespace kqa::cli
