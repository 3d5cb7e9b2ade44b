#include "app/registers/rf_radio_tool.h"

#include <array>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "app/registers/hex_field.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::registers {
namespace {

using device::Format;

constexpr std::size_t kDeviceDescriptorSize = 18;
constexpr std::size_t kIdProductOffset = 10;

}  // namespace

SynthesiserRow SynthesiserRowOf(const device::ChannelParams& params) {
  SynthesiserRow row;
  row.channel = static_cast<int>(params.channel);
  row.ghz = params.ghz;
  row.vcoMhz = params.mhzTimes4Over3;
  row.n = params.r20 | (params.r21Bit0 & 1) << 8;
  row.ksd = static_cast<std::uint32_t>(params.r19Bits & 3) << 16 |
            static_cast<std::uint32_t>(params.r18) << 8 | params.r17;
  return row;
}

std::string FormatVco(double mhz, std::uint32_t asicVersion) {
  const bool kestrel = (asicVersion >> 16) == (device::kKestrelAsicVersion >> 16);
  return Format(kestrel ? "%.3f" : "%.5f", mhz);
}

std::string FormatSynthesiserLine(const SynthesiserRow& row, std::uint32_t asicVersion) {
  return Format("channel %d VCO %s N %d K %d D %d Ksd 0x%X", row.channel,
                FormatVco(row.vcoMhz, asicVersion).c_str(), row.n, row.k, row.d, row.ksd);
}

RfRadioTool::RfRadioTool(device::ConfigMemory memory, device::ChannelState& channels)
    : device_(memory.device), memoryMode_(memory.mode), channels_(channels) {}

std::vector<std::string> RfRadioTool::channelNames() const {
  return {channels_.channelNameTable.begin(), channels_.channelNameTable.end()};
}

int RfRadioTool::channelIndex() const {
  return channels_.channelIndex;
}

SynthesiserRow RfRadioTool::synthesiser() const {
  const auto table =
      channels_.channelParams.empty() ? device::ChannelParamTable() : channels_.channelParams;
  const auto index = static_cast<std::size_t>(channels_.channelIndex);
  return SynthesiserRowOf(table[index < table.size() ? index : 0]);
}

std::string RfRadioTool::vcoText() const {
  return FormatVco(synthesiser().vcoMhz, device_.asicVersion);
}

RfRadioTool::Outcome RfRadioTool::chooseChannel(int index) {
  const std::size_t count = channels_.channelParams.empty() ? device::ChannelParamTable().size()
                                                          : channels_.channelParams.size();
  if (index < 0 || static_cast<std::size_t>(index) >= count) return Outcome::Refused;
  channels_.channelIndex = index;
  return Outcome::Done;
}

void RfRadioTool::loadSettings() {
  device::SharedSettings& settings = device_.settings;
  if (settings.radioKnown) return;
  std::uint32_t power = 0;
  std::uint8_t offset = 0;
  device::RegisterAccess registers(device_);
  if (!registers.ReadMacRegister(kTxPowerRegister, power) ||
      !registers.AccessRfRegister(device::kRegisterRead, 0, kFrequencyOffsetRegister, offset))
    return;  // reported; shown as they are until a read succeeds
  settings.txPower0 = static_cast<std::uint8_t>(power & kTxPowerBits);
  settings.frequencyOffset = offset;
  settings.txPowerChannel = channels_.channelIndex;
  settings.radioKnown = true;
}

int RfRadioTool::txPaths() {
  device::EnsureConfigurationWords({device_, memoryMode_});
  return device_.eepromWord34 >> 4 & 0xF;
}

int RfRadioTool::rxPaths() {
  device::EnsureConfigurationWords({device_, memoryMode_});
  return device_.eepromWord34 & 0xF;
}

std::string RfRadioTool::txPowerText(int path) const {
  return Format("%02X", path == 0 ? device_.settings.txPower0 : device_.settings.txPower1);
}

std::string RfRadioTool::frequencyOffsetText() const {
  return Format("%03X", device_.settings.frequencyOffset);
}

RfRadioTool::Outcome RfRadioTool::refuse(const std::string& message) {
  device_.prompt.showMessage(message);
  return Outcome::Refused;
}

RfRadioTool::Outcome RfRadioTool::stepTxPower(int path, std::string_view shownText, int step) {
  const auto shown = ParseHexField(shownText);
  if (!shown) return refuse(HexFieldProblem(path == 0 ? "TX Power 0" : "TX Power 1", shownText));
  const long long next = static_cast<long long>(*shown) + step;
  if (next < 0 || next > kTxPowerMax) return Outcome::Refused;  // the spin stops at its ends
  return setTxPower(path, static_cast<int>(next));
}

RfRadioTool::Outcome RfRadioTool::stepFrequencyOffset(std::string_view shownText, int step) {
  const auto shown = ParseHexField(shownText);
  if (!shown) return refuse(HexFieldProblem("Freq. Offset", shownText));
  const long long next = static_cast<long long>(*shown) + step;
  if (next < 0 || next > kFrequencyOffsetMax) return Outcome::Refused;
  return setFrequencyOffset(static_cast<int>(next));
}

RfRadioTool::Outcome RfRadioTool::setTxPower(int path, int value) {
  if (path != 0 && path != 1)
    return refuse(Format("TX power path %d does not exist: the paths are 0 and 1.", path));
  if (value < 0 || value > kTxPowerMax)
    return refuse(Format("TX power %d must lie between 00 and %02X, not %X.", path, kTxPowerMax,
                         static_cast<unsigned>(value)));
  device::SharedSettings& settings = device_.settings;
  if (path == 1) {
    if (!hasSecondTxPath())
      return refuse(
          Format("TX power 1 does not apply: the chip has %d transmit path(s).", txPaths()));
    settings.txPower1 = static_cast<std::uint8_t>(value);
  } else {
    device::RegisterAccess registers(device_);
    std::uint32_t word = 0;
    // A failed read gives FFFFFFFF, which must not be written back.
    if (!registers.ReadMacRegister(kTxPowerRegister, word)) return Outcome::Failed;
    word = (word & ~kTxPowerBits) | static_cast<std::uint32_t>(value);
    if (!registers.WriteMacRegister(kTxPowerRegister, word)) return Outcome::Failed;
    settings.txPower0 = static_cast<std::uint8_t>(value);
  }
  settings.txPowerChannel = channels_.channelIndex;
  return Outcome::Done;
}

RfRadioTool::Outcome RfRadioTool::setFrequencyOffset(int value) {
  if (value < 0 || value > kFrequencyOffsetMax)
    return refuse(Format("The frequency offset must lie between 000 and %03X, not %X.",
                         kFrequencyOffsetMax, static_cast<unsigned>(value)));
  auto byte = static_cast<std::uint8_t>(value);
  if (!device::RegisterAccess(device_).AccessRfRegister(device::kRegisterWrite, 0,
                                                        kFrequencyOffsetRegister, byte))
    return Outcome::Failed;
  device_.settings.frequencyOffset = byte;
  return Outcome::Done;
}

std::string RfRadioTool::chipInfoLine() {
  device::SharedSettings& settings = device_.settings;
  if (settings.productId == 0) {
    std::array<std::uint8_t, kDeviceDescriptorSize> descriptor{};
    if (device::CallDevice(device_, ioctl::VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, descriptor).ok)
      settings.productId = GetLe16(descriptor, kIdProductOffset);
  }
  return Format("VQ%X :: %d T %d R", settings.productId, txPaths(), rxPaths());
}

}  // namespace kqa::registers
