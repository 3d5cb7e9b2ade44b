#include "chip/factory_image.h"

#include <algorithm>
#include <string_view>

#include "chip/usb_descriptors.h"
#include "platform/bytes/little_endian.h"

namespace kqa::chip {

namespace {

// 2.4 GHz TX power codes for channels 1-14 (6 bits each).
constexpr std::array<std::uint8_t, 14> kTx0Power24{0x0E, 0x0E, 0x0F, 0x0F, 0x10, 0x10, 0x10,
                                                   0x10, 0x10, 0x0F, 0x0F, 0x0E, 0x0E, 0x0C};
constexpr std::size_t k5GhzChannels = 39;

void PutWord(Configuration& c, std::size_t offset, std::uint16_t value) { PutLe16(c, offset, value); }

std::uint32_t Mix(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// The USB identity and the default string area (EEPROM board only).
void PutUsbArea(std::vector<std::uint8_t>& eeprom) {
  const std::uint8_t identity[] = {
      kTestVendorId & 0xFF, kTestVendorId >> 8, kTestProductId & 0xFF, kTestProductId >> 8,
      kDeviceRelease & 0xFF, kDeviceRelease >> 8,
      1,   // iManufacturer
      2,   // iProduct
      0,   // iSerialNumber: none announced
      1};  // bNumConfigurations
  std::copy(std::begin(identity), std::end(identity), eeprom.begin() + kEepromUsbIdentity);
  // Texts of the (unused) flash function: empty.
  std::fill(eeprom.begin() + 0x260, eeprom.begin() + 0x27C, std::uint8_t{0});

  std::fill(eeprom.begin() + kEepromStringTable, eeprom.begin() + kEepromStringsEnd, std::uint8_t{0xFF});
  const std::uint8_t table[] = {0x00, 0x04, 0x12, 0x2C};
  std::copy(std::begin(table), std::end(table), eeprom.begin() + kEepromStringTable);
  std::size_t at = kEepromStrings;
  auto put = [&](const std::vector<std::uint8_t>& descriptor) {
    std::copy(descriptor.begin(), descriptor.end(), eeprom.begin() + static_cast<std::ptrdiff_t>(at));
    at += descriptor.size();
  };
  put({4, 3, 0x09, 0x04});
  put(StringDescriptor("Torvek"));
  put(StringDescriptor("802.11n WLAN"));
  put(StringDescriptor("1.0"));
}

}  // namespace

std::array<std::uint8_t, 6> FactoryMacAddress(std::uint32_t seed) {
  const std::uint32_t serial = Mix(seed);
  return {0x02, 0x4B, 0x51, static_cast<std::uint8_t>(serial >> 16), static_cast<std::uint8_t>(serial >> 8),
          static_cast<std::uint8_t>(serial)};
}

Configuration FactoryConfiguration(Board board, std::uint32_t seed) {
  const bool dualBand = board == Board::Eeprom;
  Configuration c;
  c.fill(0xFF);

  PutWord(c, 0x00, 0x5EC7);  // chip model
  PutWord(c, 0x02, 0x0001);  // layout version
  const auto mac = FactoryMacAddress(seed);
  std::copy(mac.begin(), mac.end(), c.begin() + 0x04);

  PutWord(c, 0x34, dualBand ? 0x0022 : 0x0012);  // TX paths in bits 4-7, RX paths in bits 0-3
  PutWord(c, 0x36, 0x0000);                      // NIC configuration 1: no external LNA
  PutWord(c, 0x3A, 0xFF24);                      // frequency offset 0x24
  PutWord(c, 0x3C, 0x5555);                      // LED G/A: steady in every state
  PutWord(c, 0x3E, 0xAAD9);                      // LED ACT per state, with 0x8888
  PutWord(c, 0x40, 0xEDD8);                      // LED polarity, with 0x8888
  PutWord(c, 0x42, 0x0000);                      // NIC configuration 2
  PutWord(c, 0x44, dualBand ? 0x0C0A : 0xFF0A);  // LNA gain: 10 dB at 2.4 GHz, 12 dB at 5 GHz
  PutWord(c, 0x46, 0x0302);                      // RSSI offsets 2.4 GHz: path 0 = 2, path 1 = 3
  PutWord(c, 0x48, dualBand ? 0x0D00 : 0xFF00);  // RSSI path 2 = 0; 5 GHz LNA gain ch 100-128
  if (dualBand) {
    PutWord(c, 0x4A, 0x0404);  // RSSI offsets 5 GHz
    PutWord(c, 0x4C, 0x0E00);  // RSSI path 2 at 5 GHz; LNA gain ch 132-165
  }
  PutWord(c, 0x50, dualBand ? 0x8182 : 0xFF82);  // 40 MHz power delta: -2 (2.4 GHz), -1 (5 GHz)

  for (std::size_t ch = 0; ch < kTx0Power24.size(); ++ch) {
    c[0x52 + ch] = kTx0Power24[ch];
    if (dualBand) c[0x60 + ch] = static_cast<std::uint8_t>(kTx0Power24[ch] - 1);
  }
  PutWord(c, 0x6E, 0x2006);  // TSSI slope 6; offset 0x20 for channels 1-4
  PutWord(c, 0x70, 0x1F20);  // TSSI offsets: channels 5-8, then the others
  PutWord(c, 0x76, 0xFF00);  // IQ error correction 0
  if (dualBand) {
    for (std::size_t k = 0; k < k5GhzChannels; ++k) {
      c[0x78 + k] = k < 12 ? 0x0C : 0x0B;  // TX0 at 5 GHz
      c[0xA6 + k] = k < 12 ? 0x0B : 0x0A;  // TX1 at 5 GHz
    }
  }
  PutWord(c, 0xD0, 0x2010);  // TSSI target power 0x10; temperature reference 0x20
  const std::uint16_t perRate[] = {0x6666, 0x6666, 0x4444, 0x4444, 0x2222, 0x2222, 0x4444, 0x2222, 0x2222};
  for (std::size_t i = 0; i < std::size(perRate); ++i) PutWord(c, 0xDE + 2 * i, perRate[i]);
  return c;
}

std::vector<std::uint8_t> FactoryEeprom(Board board, std::uint32_t seed) {
  std::vector<std::uint8_t> eeprom(8192, 0xFF);
  if (board == Board::Efuse) return eeprom;
  const Configuration configuration = FactoryConfiguration(board, seed);
  std::copy(configuration.begin(), configuration.end(), eeprom.begin());
  PutUsbArea(eeprom);
  return eeprom;
}

Efuse::Content FactoryEfuse(Board board, std::uint32_t seed) {
  if (board == Board::Eeprom) return {};
  return BurnConfiguration(FactoryConfiguration(board, seed));
}

Efuse::Content BurnConfiguration(std::span<const std::uint8_t, kConfigurationSize> configuration) {
  Efuse efuse;
  int nextBlock = Efuse::kMappableBlocks - 1;
  for (std::size_t logical = 0; logical < kConfigurationSize / Efuse::kBlockSize && nextBlock >= 0; ++logical) {
    const auto block = configuration.subspan(logical * Efuse::kBlockSize, Efuse::kBlockSize);
    if (std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0xFF; })) continue;
    const auto physical = static_cast<std::size_t>(nextBlock--);
    for (std::size_t i = 0; i < Efuse::kBlockSize; ++i) efuse.burn(physical * Efuse::kBlockSize + i, block[i]);
    efuse.burn(Efuse::kMapStart + physical, Efuse::MapByte(static_cast<int>(logical)));
  }
  return efuse.bytes();
}

}  // namespace kqa::chip
