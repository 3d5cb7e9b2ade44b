#include "app/txrx/radio_control.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app/device/config_memory.h"
#include "app/device/firmware_channel.h"
#include "app/device/text_format.h"
#include "app/txrx/rate_lists.h"
#include "app/txrx/start_tables.h"
#include "platform/bytes/little_endian.h"

namespace kqa::txrx {
namespace {

constexpr std::uint32_t kFunctionCommand = 31;
constexpr std::uint32_t kTxPins = 0x1328;
constexpr std::uint8_t kRfBank0 = 0;
constexpr std::uint8_t kRfBank5 = 5;

constexpr std::array<int, 39> kFiveGhzChannels = {
    36,  38,  40,  44,  46,  48,  52,  54,  56,  60,  62,  64,  100, 102, 104, 108, 110, 112, 116, 118,
    120, 124, 126, 128, 132, 134, 136, 140, 149, 151, 153, 157, 159, 161, 165, 167, 169, 171, 173};

// The per-rate power registers and the EEPROM words that fill them (low
// half, high half; 0 for none).
struct RatePowerRegister {
  std::uint32_t offset;
  std::uint16_t low;
  std::uint16_t high;
};
constexpr std::array<RatePowerRegister, 8> kRatePowers = {{
    {0x1314, 0xDE, 0xE0}, {0x1318, 0xE2, 0xE4}, {0x131C, 0xE6, 0xE8}, {0x1320, 0xEA, 0xEC},
    {0x1324, 0xEE, 0},    {0x13D4, 0xE2, 0xE6}, {0x13D8, 0xEA, 0},    {0x13DC, 0xEE, 0},
}};

std::uint16_t EepromWord(device::ConfigMemory memory, std::uint16_t offset) {
  std::uint16_t value = 0;
  device::ReadEepromWord(memory, offset, value);
  return value;
}

bool IsKestrelFamily(const device::DeviceContext& device) {
  return (device.asicVersion >> 16) == (device::kKestrelAsicVersion >> 16);
}

}  // namespace

std::vector<std::string> RxPathNames(int paths) {
  std::vector<std::string> names;
  for (int path = 1; path < paths; ++path) names.push_back(device::Format("RX %d", path));
  names.push_back("RX 0");
  return names;
}

int FiveGhzPowerPosition(int channel) {
  const auto* found = std::find(kFiveGhzChannels.begin(), kFiveGhzChannels.end(), channel);
  return found == kFiveGhzChannels.end() ? 0 : static_cast<int>(found - kFiveGhzChannels.begin());
}

std::uint16_t TxPowerAddress(int path, int channel) {
  if (channel > 14) return static_cast<std::uint16_t>((path == 0 ? 0x78 : 0xA6) + FiveGhzPowerPosition(channel));
  return static_cast<std::uint16_t>((path == 0 ? 0x51 : 0x5F) + channel);
}

RadioControl::RadioControl(device::ConfigMemory memory, device::ChannelState& channels, bool& receiving,
                           BenchCalibrations& calibrations)
    : device_(memory.device),
      memoryMode_(memory.mode),
      channels_(channels),
      receiving_(receiving),
      calibrations_(calibrations),
      registers_(memory.device) {}

int RadioControl::channelIndex() const {
  return std::clamp(channels_.channelIndex, 0, std::max(channels_.channelCount - 1, 0));
}

int RadioControl::channelNumber() const {
  const auto index = static_cast<std::size_t>(channelIndex());
  return index < channels_.channelList.size() ? channels_.channelList[index] : 1;
}

bool RadioControl::fiveGhz() const { return channelNumber() > 14; }

int RadioControl::txPaths() const { return (device_.eepromWord34 >> 4) & 0xF; }

int RadioControl::rxPaths() const { return device_.eepromWord34 & 0xF; }

bool RadioControl::loadConfiguration() {
  using device::NvmResult;
  bool ok = device::ReadEepromWord(configMemory(), 0x34, device_.eepromWord34) == NvmResult::Ok;
  ok = device::ReadEepromWord(configMemory(), 0x36, device_.eepromWord36) == NvmResult::Ok && ok;
  ok = device::ReadEepromWord(configMemory(), 0x42, device_.eepromWord42) == NvmResult::Ok && ok;
  std::uint16_t gains = 0;
  ok = device::ReadEepromWord(configMemory(), 0x44, gains) == NvmResult::Ok && ok;
  lnaGain24 = static_cast<std::uint8_t>(gains & 0xFF);
  lnaGain5 = static_cast<std::uint8_t>(gains >> 8);
  return ok;
}

std::uint8_t RadioControl::powerByte(std::uint16_t address) {
  const std::uint16_t word = EepromWord(configMemory(), static_cast<std::uint16_t>(address & ~1u));
  return static_cast<std::uint8_t>((address & 1) != 0 ? word >> 8 : word & 0xFF);
}

void RadioControl::reloadFiveGhzGain(int channel) {
  std::uint16_t source = 0x44;
  if (channel >= 100 && channel <= 128) source = 0x48;
  if (channel >= 132 && channel <= 165) source = 0x4C;
  std::uint16_t word = source == 0x44 ? 0 : EepromWord(configMemory(), source);
  if (source == 0x44 || word <= 0xFF || (word >> 8) == 0xFF) word = EepromWord(configMemory(), 0x44);
  lnaGain5 = static_cast<std::uint8_t>(word >> 8);
}

void RadioControl::tuneSynthesizer(int index) {
  const auto row = static_cast<std::size_t>(index);
  if (row >= channels_.channelParams.size()) return;
  const device::ChannelParams& p = channels_.channelParams[row];
  ChipRegisters& r = registers_;
  if ((r.mac(0x0064) & (1u << 28)) != 0)
    r.updateRf(kRfBank0, 13, 0xFF, 0x03);
  else
    r.updateRf(kRfBank0, 13, 0xFC, 0x00);
  r.updateRf(kRfBank0, 20, 0x00, p.r20);
  r.updateRf(kRfBank0, 21, 0xFE, p.r21Bit0 & 0x01);
  r.updateRf(kRfBank0, 16, 0xF0, p.r16Bits & 0x0F);
  r.updateRf(kRfBank0, 22, 0xF8, p.r22Bits & 0x07);
  r.updateRf(kRfBank0, 17, 0x00, p.r17);
  r.updateRf(kRfBank0, 18, 0x00, p.r18);
  r.updateRf(kRfBank0, 19, 0xFC, p.r19Bits & 0x03);
}

ChannelReadout RadioControl::selectChannel(int index) {
  channels_.channelIndex = std::clamp(index, 0, std::max(channels_.channelCount - 1, 0));
  const int channel = channelNumber();
  const bool five = fiveGhz();
  ChipRegisters& r = registers_;
  ChannelReadout shown;
  shown.extLna = device::Format("ExtLNA = %d", (device_.eepromWord36 >> (five ? 3 : 2)) & 1);
  if (channel == 14 && device_.settings.phyMode == kCck) r.updateBbp(4, 0xFF, 0x20);
  if (five) reloadFiveGhzGain(channel);
  const auto lnaSetting = static_cast<std::uint8_t>(0x37 - bandLnaGain());
  for (std::uint8_t id : {62, 63, 64}) r.setBbp(id, lnaSetting);
  if (five)
    r.updateMac(kTxPins, ~0xAu, 0xF05);
  else
    r.updateMac(kTxPins, ~0x5u, 0xF0A);
  applyDac(dac);
  if (IsKestrelFamily(device_)) tuneSynthesizer(channels_.channelIndex);

  // TX power bytes of the channel; "TSSI" takes TX0's from word 0xD0.
  const std::uint16_t tx0Address = TxPowerAddress(0, channel);
  const std::uint16_t tx1Address = TxPowerAddress(1, channel);
  const std::uint8_t tx0 = (tssi ? static_cast<std::uint8_t>(EepromWord(configMemory(), 0xD0) & 0xFF)
                                 : powerByte(tx0Address)) & 0x3F;
  device_.settings.txPower0 = tx0;
  r.updateMac(0x13B0, ~0x3Fu, tx0);
  shown.tx0Power = device::Format("%02X", tx0);
  if (txPaths() >= 2) {
    device_.settings.txPower1 = powerByte(tx1Address) & 0x3F;
    shown.tx1Power = device::Format("%02X", device_.settings.txPower1);
  }

  const auto offset = static_cast<std::uint8_t>(EepromWord(configMemory(), 0x3A) & 0xFF);
  r.setRf(kRfBank0, 12, offset);
  device_.settings.frequencyOffset = offset;
  // The RF pages show these values for this channel now.
  device_.settings.txPowerChannel = channels_.channelIndex;
  device_.settings.radioKnown = true;
  shown.frequencyOffset = device::Format("%02X", offset);

  const std::uint16_t rssi = EepromWord(configMemory(), five ? 0x4A : 0x46);
  shown.rssiOffset0 = device::Format("%02x", rssi & 0xFF);
  shown.rssiOffset1 = device::Format("%02x", rssi >> 8);
  device_.settings.rssiOffsets[0] = static_cast<std::int8_t>(rssi & 0xFF);
  device_.settings.rssiOffsets[1] = static_cast<std::int8_t>(rssi >> 8);

  if (five)
    r.updateMac(0x132C, ~0x4u, 0x2);
  else
    r.updateMac(0x132C, ~0x2u, 0x4);
  applyRatePowers();

  if (activated) {
    vcoCalibration();
    sendFunction(7, static_cast<std::uint32_t>(calibrations_.temperatureDifference() * 10));
    calibrations_.dcocCalibration();
  }
  return shown;
}

void RadioControl::selectBandwidth(bool wide40) {
  wide = wide40;
  ChipRegisters& r = registers_;
  if (wide)
    r.updateBbp(4, 0xF7, 0x10);
  else
    r.updateBbp(4, 0xE7, 0x00);
  r.setBbp(69, wide ? 0x15 : 0x12);
  r.setBbp(91, wide ? 0x04 : 0x07);
  for (const BbpIndirectValue& entry : BandwidthTable(wide)) r.setBbpIndirect(entry.index, entry.value);
  r.setRf(kRfBank5, 6, wide ? 0x1A : 0x3A);
  r.setRf(kRfBank5, 7, wide ? 0x1A : 0x3A);
  r.setRf(kRfBank5, 8, wide ? 0x04 : 0x00);
  r.setRf(kRfBank5, 58, wide ? 0x17 : 0x31);
  r.setRf(kRfBank5, 59, wide ? 0x17 : 0x31);
  pulseFunction6(0x10000 | (wide ? 0x100u : 0u));
  applyRatePowers();
}

void RadioControl::selectMode(int mode) {
  if (mode < 0 || mode >= kModeCount) return;
  device_.settings.phyMode = mode;
  if (mode == kCck && channelNumber() == 14) registers_.updateBbp(4, 0xFF, 0x20);
  selectRate(DefaultRateIndex(mode));
}

void RadioControl::selectRate(int rateIndex) {
  const int mode = device_.settings.phyMode;
  if (!IsValidRate(mode, rateIndex)) return;
  device_.settings.rateIndex = rateIndex;
  if (IsHtMode(mode) && rateIndex >= 8) {
    dac = DacChoice::Both;  // two spatial streams
    applyDac(dac);
  }
  applyRatePowers();
}

void RadioControl::applyRatePowers() {
  ChipRegisters& r = registers_;
  for (const RatePowerRegister& reg : kRatePowers) {
    std::uint32_t value = 0;
    if (!sideBandOption) {
      value = EepromWord(configMemory(), reg.low);
      if (reg.high != 0) value |= static_cast<std::uint32_t>(EepromWord(configMemory(), reg.high)) << 16;
    }
    r.setMac(reg.offset, value);
  }
  device_.clock.sleepMs(50);
  applyBandwidthPowerDelta();
}

void RadioControl::applyBandwidthPowerDelta() {
  if (!wide) return;
  const std::uint16_t word = EepromWord(configMemory(), 0x50);
  const auto byte = static_cast<std::uint8_t>(fiveGhz() ? word >> 8 : word & 0xFF);
  if ((byte & 0x80) == 0 || byte == 0xFF) return;
  const int delta = std::min(byte & 0x3F, 4) * ((byte & 0x40) != 0 ? 1 : -1);
  for (const RatePowerRegister& reg : kRatePowers) {
    const std::uint32_t value = registers_.mac(reg.offset);
    if (value == device::kFailedReadValue) continue;
    std::uint32_t changed = 0;
    for (int nibble = 0; nibble < 8; ++nibble) {
      const int power = std::clamp(static_cast<int>((value >> (4 * nibble)) & 0xF) + delta, 0, 15);
      changed |= static_cast<std::uint32_t>(power) << (4 * nibble);
    }
    registers_.setMac(reg.offset, changed);
  }
}

void RadioControl::applyDac(DacChoice choice) {
  dac = choice;
  ChipRegisters& r = registers_;
  switch (choice) {
    case DacChoice::Both:
      r.updateMac(kTxPins, ~0u, 0xF);
      r.updateBbp(1, 0xF7, 0x10);
      r.updateRf(kRfBank0, 2, 0xFF, 0xF0);
      break;
    case DacChoice::Dac0:
      r.updateMac(kTxPins, ~0xCu, 0x3);
      r.updateBbp(1, 0xE7, 0x00);
      r.updateRf(kRfBank0, 2, 0x0F, 0x10);
      break;
    case DacChoice::Dac1:
      r.updateMac(kTxPins, ~0x3u, 0xC);
      r.updateBbp(1, 0xEF, 0x08);
      r.updateRf(kRfBank0, 2, 0x0F, 0x20);
      break;
  }
}

void RadioControl::selectAntenna(Antenna choice) {
  antenna = choice;
  ChipRegisters& r = registers_;
  r.setBbp(150, 0);
  r.setBbp(151, 0);
  if (choice == Antenna::Main)
    r.updateBbp(152, 0x7F, 0x00);
  else
    r.updateBbp(152, 0xFF, 0x80);
}

void RadioControl::selectRxPaths(bool onePath, int entry) {
  ChipRegisters& r = registers_;
  if (!onePath) {
    r.updateBbp(3, 0xFF, 0x03);
    if (rxPaths() == 1) {
      r.updateBbp(3, 0xE7, 0x00);
      r.updateRf(kRfBank0, 2, 0xF1, 0x01);
    }
    return;
  }
  r.updateBbp(3, 0xE7, 0x00);
  const std::vector<std::string> names = RxPathNames(rxPaths());
  const std::string name = entry >= 0 && entry < static_cast<int>(names.size())
                               ? names[static_cast<std::size_t>(entry)]
                               : std::string("RX 0");
  if (name == "RX 1") {
    r.updateBbp(3, 0xFD, 0x01);
    r.updateRf(kRfBank0, 2, 0xF2, 0x02);
  } else if (name == "RX 2") {
    r.updateBbp(3, 0xFE, 0x02);
    r.updateRf(kRfBank0, 2, 0xF4, 0x04);
  } else {
    r.updateBbp(3, 0xFC, 0x00);
    r.updateRf(kRfBank0, 2, 0xF1, 0x01);
  }
}

void RadioControl::selectTxBand(bool upper) {
  ChipRegisters& r = registers_;
  if (upper) {
    r.updateMac(0x132C, ~0u, 0x1);
    r.updateBbp(3, 0xFF, 0x20);
  } else {
    r.updateMac(0x132C, ~0x1u, 0x0);
    r.updateBbp(3, 0xDF, 0x00);
  }
}

void RadioControl::vcoCalibration() {
  registers_.updateRf(kRfBank0, 4, 0xFF, 0x80);
  device_.clock.sleepMs(5);
}

int RadioControl::sendFunction(std::uint32_t function, std::uint32_t parameter) {
  if (!device_.settings.firmwareReady) return -1;
  std::array<std::uint8_t, 8> payload{};
  PutLe32(payload, 0, function);
  PutLe32(payload, 4, parameter);
  return device::ExchangeQACmd(device_, receiving_, kFunctionCommand, payload);
}

void RadioControl::pulseFunction6(std::uint32_t bits) {
  const std::uint32_t parameter = bits | 0x1;
  sendFunction(6, parameter);
  sendFunction(6, parameter & ~0xFFu);
}

void RadioControl::adoptChipState() {
  ChipRegisters& r = registers_;
  const std::uint8_t r20 = r.rf(kRfBank0, 20);
  const std::uint8_t r17 = r.rf(kRfBank0, 17);
  const std::uint8_t r18 = r.rf(kRfBank0, 18);
  const std::uint8_t r19 = r.rf(kRfBank0, 19) & 0x03;
  for (std::size_t row = 0; row < channels_.channelParams.size(); ++row) {
    const device::ChannelParams& p = channels_.channelParams[row];
    if (p.r20 == r20 && p.r17 == r17 && p.r18 == r18 && (p.r19Bits & 0x03) == r19) {
      channels_.channelIndex = static_cast<int>(row);
      break;
    }
  }
  const std::uint8_t r4 = r.bbp(4);
  wide = ((r4 >> 3) & 3) == 2;
  antenna = (r.bbp(152) & 0x80) != 0 ? Antenna::Aux : Antenna::Main;
  const std::uint8_t r1 = r.bbp(1);
  dac = (r1 & 0x10) != 0 ? DacChoice::Both : (r1 & 0x08) != 0 ? DacChoice::Dac1 : DacChoice::Dac0;
}

}  // namespace kqa::txrx
