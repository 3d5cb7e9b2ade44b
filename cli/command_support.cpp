#include "cli/command_support.h"

#include <charconv>
#include <utility>

#include "app/device/config_memory.h"
#include "app/device/connection.h"

namespace kqa::cli {
namespace {

bool ParseNumber(std::string_view word, int base, std::uint32_t& value) {
  if (base == 16 && word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
    word.remove_prefix(2);
  std::uint32_t parsed = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), parsed, base);
  if (word.empty() || error != std::errc() || end != word.data() + word.size()) return false;
  value = parsed;
  return true;
}

}  // namespace

int Command::usage(const std::string& message) {
  session.err << "kestrelqa-cli: " << message << "\n(kestrelqa-cli --help lists the commands)\n";
  if (options.json) session.out << JsonObject().flag("ok", false).text("message", message).str() << '\n';
  return kExitUsage;
}

int Command::fail(const std::string& message) {
  session.err << "kestrelqa-cli: " << message << '\n';
  if (options.json) session.out << JsonObject().flag("ok", false).text("message", message).str() << '\n';
  return kExitFailed;
}

int Command::done(const std::string& text, const JsonObject& json) {
  if (options.json)
    session.out << json.str() << '\n';
  else
    session.out << text;
  session.out.flush();
  return kExitOk;
}

bool Command::hex(std::string_view word, std::string_view what, std::uint32_t& value) {
  if (ParseNumber(word, 16, value)) return true;
  usage(std::string(what) + " must be hexadecimal (\"0x\" allowed), not \"" + std::string(word) + "\"");
  return false;
}

bool Command::decimal(std::string_view word, std::string_view what, std::uint32_t& value,
                      std::uint32_t max) {
  if (ParseNumber(word, 10, value) && value <= max) return true;
  usage(std::string(what) + " must be a decimal number from 0 to " + std::to_string(max) +
        ", not \"" + std::string(word) + "\"");
  return false;
}

bool Command::hexByte(std::string_view word, std::uint8_t& value) {
  std::uint32_t parsed = 0;
  if (!hex(word, "VALUE", parsed)) return false;
  if (parsed > 0xFF) {
    usage("VALUE of an 8-bit register must be 00 to FF, not \"" + std::string(word) + "\"");
    return false;
  }
  value = static_cast<std::uint8_t>(parsed);
  return true;
}

void LoadConfigurationWords(device::DeviceContext& device) {
  device::ReadEepromWord(device, 0x34, device.eepromWord34);
  device::ReadEepromWord(device, 0x36, device.eepromWord36);
  device::ReadEepromWord(device, 0x42, device.eepromWord42);
}

int RunCliCommand(const CliOptions& options, CliSession& session) {
  Command command(options, session);
  const std::vector<std::string>& words = options.words;
  if (words.empty()) return command.usage("no command given");

  device::DeviceContext& device = session.device;
  if (!options.nvm.empty()) {
    const device::ConfigMemoryBackEnd backEnd =
        options.nvm == "buffer"  ? device::ConfigMemoryBackEnd::Buffer
        : options.nvm == "efuse" ? device::ConfigMemoryBackEnd::Efuse
                                 : device::ConfigMemoryBackEnd::Eeprom;
    if (backEnd == device::ConfigMemoryBackEnd::Buffer && !device.eepromFileLoaded &&
        !device::LoadEepromImageFile(device, options.eepromFile))
      return command.fail("the buffer back end needs the image file \"" + options.eepromFile +
                          "\", which cannot be read");
    device::SelectBackEnd(device, backEnd);
  }

  static constexpr std::pair<std::string_view, int (*)(Command&)> kCommands[] = {
      {"info", InfoCommand},   {"reg", RegisterCommand}, {"bbp", BbpCommand},
      {"rf", RfCommand},       {"nvm", NvmCommand},      {"efuse", EfuseCommand},
      {"ioctl", IoctlCommand}, {"script", ScriptCommand}, {"selftest", SelftestCommand},
  };
  for (const auto& [name, run] : kCommands) {
    if (words[0] != name) continue;
    if (!device::EnsureDeviceOpen(device))
      return command.fail("no device: the driver's device interface could not be opened");
    if (name == "bbp" || name == "script") LoadConfigurationWords(device);
    return run(command);
  }
  return command.usage("unknown command \"" + words[0] + "\"");
}

}  // namespace kqa::cli
