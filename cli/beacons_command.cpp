// beacons: which access points the chip hears on a channel. A quick check
// of the radio and its environment from the shell (the sniffer page is the
// full tool).
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/channel_table.h"
#include "app/device/connection.h"
#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "cli/arguments.h"
#include "cli/cli_output.h"
#include "cli/command_table.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

using device::Format;
using device::RegisterAccess;

constexpr std::size_t kRecordSize = 4096;
constexpr std::size_t kRecordsPerRead = 1000;
constexpr std::uint32_t kMacControl = 0x1004;
constexpr std::uint32_t kReceiveEnable = 0x8;

struct BeaconArguments {
  std::uint32_t channel = 1;
  std::uint32_t milliseconds = 500;
};

struct AccessPointHeard {
  std::string ssid;
  int beacons = 0;
};

std::string MacText(std::span<const std::uint8_t> address) {
  return Format("%02X:%02X:%02X:%02X:%02X:%02X", address[0], address[1], address[2], address[3],
                address[4], address[5]);
}

// RF bank 0 as the channel table gives it: R17, R18, R19 bits 0-1, R20, and
// R21 bit 0 (bit 8 of the synthesizer's N).
bool Tune(RegisterAccess& registers, const device::ChannelParams& channel) {
  std::uint8_t r19 = 0;
  std::uint8_t r21 = 0;
  std::uint8_t value = 0;
  if (!registers.AccessRfRegister(device::kRegisterRead, 0, 19, r19) ||
      !registers.AccessRfRegister(device::kRegisterRead, 0, 21, r21))
    return false;
  const std::pair<std::uint8_t, std::uint8_t> writes[] = {
      {17, channel.r17},
      {18, channel.r18},
      {19, static_cast<std::uint8_t>((r19 & ~0x03) | channel.r19Bits)},
      {20, channel.r20},
      {21, static_cast<std::uint8_t>((r21 & ~0x01) | channel.r21Bit0)},
  };
  for (const auto& [reg, byte] : writes) {
    value = byte;
    if (!registers.AccessRfRegister(device::kRegisterWrite, 0, reg, value)) return false;
  }
  return true;
}

// The SSID element of a beacon's body (after the 24-byte header and the
// 12 bytes of timestamp, interval and capabilities), or "" when it has none.
std::string Ssid(std::span<const std::uint8_t> frame) {
  for (std::size_t at = 36; at + 2 <= frame.size();) {
    const std::size_t length = frame[at + 1];
    if (at + 2 + length > frame.size()) break;
    if (frame[at] == 0) return std::string(frame.begin() + static_cast<std::ptrdiff_t>(at + 2),
                                           frame.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
    at += 2 + length;
  }
  return {};
}

int Beacons(CommandRun& run, const BeaconArguments& args) {
  device::DeviceContext& device = run.device();
  const device::ChannelParams& channel = device::ChannelParamTable()[args.channel - 1];
  RegisterAccess registers(device);
  std::uint32_t control = 0;
  if (!Tune(registers, channel) || !registers.ReadMacRegister(kMacControl, control) ||
      !registers.WriteMacRegister(kMacControl, control | kReceiveEnable))
    return run.fail(Format("the receiver could not be set to channel %u (error %u)", args.channel,
                           registers.lastError()),
                    registers.lastError());

  const device::CallResult started = device::CallDevice(device, ioctl::VQ_OID_USB_CAPTURE_START, {}, {});
  // Listen in steps, so that frames reach the driver as they end.
  using namespace std::chrono_literals;
  for (std::uint32_t waited = 0; started.ok && waited < args.milliseconds; waited += 10)
    device.clock.sleep(std::min<std::chrono::milliseconds>(10ms, std::chrono::milliseconds(args.milliseconds - waited)));
  device.clock.sleep(0ms);
  std::vector<std::uint8_t> records(kRecordSize * kRecordsPerRead);
  std::uint32_t bytes = 0;
  const device::CallResult read =
      started.ok ? device::CallDeviceCount(device, ioctl::VQ_OID_USB_CAPTURE_READ, {}, records, bytes)
                 : started;
  device::CallDevice(device, ioctl::VQ_OID_USB_CAPTURE_STOP, {}, {});
  registers.WriteMacRegister(kMacControl, control);
  if (!read.ok)
    return run.fail(Format("the capture ring could not be read (error %u)", read.error), read.error);

  std::map<std::string, AccessPointHeard> heard;
  std::size_t frames = 0;
  for (std::size_t i = 0; i < bytes / kRecordSize; ++i) {
    const std::span<const std::uint8_t> record(records.data() + i * kRecordSize, kRecordSize);
    const std::size_t size = GetLe16(record, 10) & 0xFFF;  // 0: a transfer without a frame
    if (size == 0 || device.rxHeaderSize + size > kRecordSize) continue;
    ++frames;
    if (size < 24) continue;
    const std::span<const std::uint8_t> frame = record.subspan(device.rxHeaderSize, size);
    const bool beacon = (frame[0] & 0x0C) == 0 && (frame[0] >> 4) == 8;
    if (!beacon) continue;
    AccessPointHeard& ap = heard[MacText(frame.subspan(16, 6))];
    ap.ssid = Ssid(frame);
    ++ap.beacons;
  }

  std::string text = Format("Channel %u, %u ms: %s, beacons from %s\n", args.channel, args.milliseconds,
                            Counted(static_cast<long long>(frames), "frame").c_str(),
                            Counted(static_cast<long long>(heard.size()), "access point").c_str());
  Json list = Json::array();
  for (const auto& [bssid, ap] : heard) {
    text += Format("  %s  \"%s\"  %s\n", bssid.c_str(), ap.ssid.c_str(), Counted(ap.beacons, "beacon").c_str());
    list.push_back({{"bssid", bssid}, {"ssid", ap.ssid}, {"beacons", ap.beacons}});
  }
  return run.done(text, {{"channel", args.channel},
                         {"milliseconds", args.milliseconds},
                         {"frames", frames},
                         {"accessPoints", list}});
}

}  // namespace

void AddBeaconsCommand(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<BeaconArguments>();
  CLI::App& beacons = table.add(program, "beacons",
                                "the access points whose beacons the chip hears on a channel",
                                [args](CommandRun& run) { return Beacons(run, *args); });
  AddDecimalArgument(beacons, "CHANNEL", args->channel, device::kChannelCount, "the 2.4 GHz channel, 1 to 14", 1);
  beacons.add_option("MS", args->milliseconds, "how long to listen (default 500)")
      ->type_name("N")
      ->transform(DecimalNumber(60'000));
}

}  // namespace kqa::cli
