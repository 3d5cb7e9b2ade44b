#include <vector>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/text_format.h"
#include "app/device/text_utils.h"
#include "app/registers/script/register_script.h"
#include "cli/command_support.h"
#include "cli/lasting_activity.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

using device::Format;

constexpr std::size_t kMaxIoctlOutput = 16u << 20;

// Prints each entry as the page lists it (text), or collects them (JSON).
class CliScriptLog final : public ScriptLog {
 public:
  CliScriptLog(std::ostream& out, bool json) : out_(out), json_(json) {}
  void clear() override {}
  void append(std::string_view entry) override {
    if (entry.starts_with("Error:")) ++errors;
    if (json_) {
      entries.push_back(JsonQuote(entry.substr(0, entry.find_last_not_of('\n') + 1)));
    } else {
      out_ << entry;
      out_.flush();
    }
  }

  std::vector<std::string> entries;
  int errors = 0;

 private:
  std::ostream& out_;
  bool json_;
};

std::string SpacedHex(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) text += Format("%s%02X", text.empty() ? "" : " ", byte);
  return text.empty() ? "none" : text;
}

std::string DescriptorSummary(std::span<const std::uint8_t> d) {
  if (d.size() < 18 || d[1] != 1) return "not available";
  const auto u16 = [&](std::size_t at) { return unsigned{GetLe16(d, at)}; };
  return Format("USB %X.%02X, class %02X, max packet %u, VID %04X, PID %04X, release %04X, "
                "%u configuration(s)",
                u16(2) >> 8, u16(2) & 0xFF, d[4], d[7], u16(8), u16(10), u16(12), d[17]);
}

}  // namespace

int IoctlCommand(Command& command) {
  const auto& words = command.options.words;
  if (words.size() < 2 || words.size() > 3) return command.usage("ioctl CODE [INPUT_HEX] [--out N]");
  std::uint32_t code = 0;
  if (!command.hex(words[1], "CODE", code)) return kExitUsage;
  std::vector<std::uint8_t> input;
  if (words.size() == 3) {
    input.resize(words[2].size() / 2);
    if (words[2].size() % 2 != 0 || !device::HexToBytes(input, words[2]))
      return command.usage("INPUT_HEX must be pairs of hexadecimal digits, not \"" + words[2] + "\"");
  }
  const std::size_t outLength = command.options.outLength.value_or(0);
  if (outLength > kMaxIoctlOutput)
    return command.usage(Format("--out is limited to %zu bytes", kMaxIoctlOutput));

  std::vector<std::uint8_t> output(outLength);
  std::uint32_t count = 0;
  const device::CallResult result =
      device::CallDeviceCount(command.session.device, code, input, output, count);
  const std::span<const std::uint8_t> returned(
      output.data(), std::min<std::size_t>(result.bytesReturned, output.size()));
  if (command.options.json) {
    command.session.out << JsonObject()
                               .number("error", result.error)
                               .number("bytes", result.bytesReturned)
                               .text("output", HexString(returned))
                               .str()
                        << '\n';
  } else {
    command.session.out << Format("error=%d bytes=%d\n", static_cast<int>(result.error),
                                  static_cast<int>(result.bytesReturned))
                        << HexDump(0, returned);
  }
  if (const LastingActivity* activity = ActivityStartedBy(code);
      activity && result.error == ERROR_SUCCESS && command.session.driverInProcess)
    command.session.err << "kestrelqa-cli: " << EndsWithProcessNote(*activity) << '\n';
  return result.error == ERROR_SUCCESS ? kExitOk : kExitFailed;
}

int ScriptCommand(Command& command) {
  const auto& words = command.options.words;
  if (words.size() != 3 || words[1] != "run") return command.usage("script run [--dialect D] FILE");
  const std::string& dialectName = command.options.dialect;
  const ScriptDialect dialect = dialectName == "bbp"  ? ScriptDialect::Bbp
                                : dialectName == "rf" ? ScriptDialect::Rf
                                                      : ScriptDialect::Keyword;
  CliScriptLog log(command.session.out, command.options.json);
  if (!RunRegisterScriptFile(dialect, words[2], command.session.device, log))
    return command.fail("cannot open the script file \"" + words[2] + "\"");
  const bool failed = log.errors > 0 || command.promptReportedFailure();
  if (command.options.json)
    command.session.out << JsonObject().flag("ok", !failed).json("entries", JsonArray(log.entries)).str()
                        << '\n';
  if (failed) {
    command.session.err << "kestrelqa-cli: the script ran with errors (see above)\n";
    return kExitFailed;
  }
  return kExitOk;
}

int InfoCommand(Command& command) {
  if (command.options.words.size() != 1) return command.usage("info takes no arguments");
  CliSession& session = command.session;
  device::DeviceContext& device = session.device;

  std::uint32_t version = 0;
  const bool haveVersion = device::GetFirmwareVersion(device, version);
  std::array<std::uint8_t, 18> descriptor{};
  std::uint32_t descriptorBytes = 0;
  const device::CallResult call = device::CallDeviceCount(
      device, ioctl::VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, descriptor, descriptorBytes);
  const std::span<const std::uint8_t> received(descriptor.data(), call.ok ? descriptorBytes : 0);

  const std::string backEnd(device::BackEndName(device::ActiveBackEnd(device)));
  std::string memory = backEnd;
  if (device.bufferMode) memory += " (image from eeprom.bin over the eFuse)";
  const std::string text =
      Format("Device:               %s\n", session.deviceDescription.c_str()) +
      Format("Chip identity:        0x%08X\n", device.asicVersion) +
      Format("Configuration memory: %s\n", memory.c_str()) +
      Format("Firmware mode:        0x%08X\n", session.startup.firmwareMode) +
      (haveVersion ? Format("Firmware version:     %u\n", version)
                   : std::string("Firmware version:     not available\n")) +
      Format("USB device:           %s\n", DescriptorSummary(received).c_str()) +
      "Device descriptor:    " + SpacedHex(received) + "\n";
  JsonObject json;
  json.text("device", session.deviceDescription)
      .flag("emulated", session.emulated)
      .number("asicVersion", device.asicVersion)
      .text("configMemory", backEnd)
      .number("firmwareMode", session.startup.firmwareMode)
      .number("firmwareVersion", haveVersion ? static_cast<long long>(version) : -1)
      .text("deviceDescriptor", HexString(received));
  return command.done(text, json);
}

}  // namespace kqa::cli
