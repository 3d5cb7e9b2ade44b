// info: what the device is and what it says about itself.
#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/text_format.h"
#include "cli/cli_output.h"
#include "cli/command_table.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

using device::Format;

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

int Info(CommandRun& run) {
  CliSession& session = run.session();
  device::DeviceContext& device = session.device;

  std::uint32_t version = 0;
  const bool haveVersion = device::GetFirmwareVersion(device, version);
  std::array<std::uint8_t, 18> descriptor{};
  std::uint32_t descriptorBytes = 0;
  const device::CallResult call = device::CallDeviceCount(
      device, ioctl::VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, descriptor, descriptorBytes);
  const std::span<const std::uint8_t> received(descriptor.data(), call.ok ? descriptorBytes : 0);

  const std::string backEnd(device::BackEndName(device::ActiveBackEnd(session.memoryMode)));
  std::string memory = backEnd;
  if (session.memoryMode.bufferMode) memory += " (image from eeprom.bin over the eFuse)";
  const std::string text =
      Format("Device:               %s\n", session.deviceDescription.c_str()) +
      Format("Chip identity:        0x%08X\n", device.asicVersion) +
      Format("Configuration memory: %s\n", memory.c_str()) +
      Format("Firmware mode:        0x%08X\n", session.startup.firmwareMode) +
      (haveVersion ? Format("Firmware version:     %u\n", version)
                   : std::string("Firmware version:     not available\n")) +
      Format("USB device:           %s\n", DescriptorSummary(received).c_str()) +
      "Device descriptor:    " + SpacedHex(received) + "\n";
  return run.done(text, {{"device", session.deviceDescription},
                         {"emulated", session.emulated},
                         {"asicVersion", device.asicVersion},
                         {"configMemory", backEnd},
                         {"firmwareMode", session.startup.firmwareMode},
                         {"firmwareVersion", haveVersion ? static_cast<long long>(version) : -1},
                         {"deviceDescriptor", HexString(received)}});
}

}  // namespace

void AddInfoCommand(CLI::App& program, CommandTable& table) {
  table.add(program, "info", "chip identity, configuration memory, firmware, USB descriptor", Info);
}

}  // namespace kqa::cli
