#include "app/txrx/calibration/eeprom_trims.h"

#include "app/device/config_memory.h"
#include "app/device/text_format.h"
#include "app/registers/hex_field.h"

namespace kqa::txrx {
namespace {

using device::Format;
using device::NvmResult;

constexpr std::uint32_t kTxPower = 0x13B0;
constexpr std::uint16_t kFrequencyOffsetWord = 0x3A;

std::optional<std::uint8_t> ParseByte(const std::string& text) {
  const auto value = registers::ParseHexField(text);
  if (!value || *value > 0xFF) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

}  // namespace

EepromTrims::Outcome EepromTrims::refuse(const std::string& problem) {
  radio_.device().prompt.showMessage(problem);
  return Outcome::Refused;
}

std::uint16_t EepromTrims::txPowerAddress(int path) const {
  return TxPowerAddress(path, radio_.channelNumber());
}

EepromTrims::Outcome EepromTrims::replaceByte(std::uint16_t byteAddress, std::uint8_t value) {
  lastWrite_.clear();
  const device::ConfigMemory memory = radio_.configMemory();
  const auto wordAddress = static_cast<std::uint16_t>(byteAddress & ~1u);
  std::uint16_t word = 0;
  NvmResult result = device::ReadEepromWord(memory, wordAddress, word);
  if (result != NvmResult::Ok) return Outcome::Failed;
  const auto changed = static_cast<std::uint16_t>((byteAddress & 1) != 0 ? (word & 0x00FF) | (value << 8)
                                                                         : (word & 0xFF00) | value);
  if (changed == word) return Outcome::Done;
  result = device::WriteEepromWord(memory, wordAddress, changed);
  if (result == NvmResult::Cancelled) return Outcome::Cancelled;
  if (result != NvmResult::Ok) return Outcome::Failed;
  lastWrite_ = Format("0x%02X", wordAddress);
  return Outcome::Done;
}

EepromTrims::Outcome EepromTrims::storeTxPower(int path, const std::string& text) {
  if (path != 0 && path != 1) return refuse(Format("TX power path %d is not 0 or 1.", path));
  const auto value = ParseByte(text);
  if (!value) return refuse(Format("\"TX Power%d (Hex)\": \"%s\" is not a hexadecimal byte.", path, text.c_str()));
  const auto signedValue = static_cast<std::int8_t>(*value);
  const bool outOfRange = radio_.fiveGhz() ? signedValue > 63 : (signedValue < 0 || signedValue >= 64);
  if (outOfRange) return Outcome::Refused;
  return replaceByte(txPowerAddress(path), static_cast<std::uint8_t>(*value & 0x3F));
}

EepromTrims::Outcome EepromTrims::storeFrequencyOffset(const std::string& text) {
  const auto value = ParseByte(text);
  if (!value) return refuse(Format("\"Freq. Offset (Hex)\": \"%s\" is not a hexadecimal byte.", text.c_str()));
  return replaceByte(kFrequencyOffsetWord, *value);
}

EepromTrims::Outcome EepromTrims::storeRssiOffsets(const std::array<std::optional<std::string>, 3>& texts) {
  std::array<std::optional<std::uint8_t>, 3> values;
  for (std::size_t path = 0; path < texts.size(); ++path) {
    if (!texts[path]) continue;
    values[path] = ParseByte(*texts[path]);
    if (!values[path])
      return refuse(Format("RSSI%zu \"Offset\": \"%s\" is not a hexadecimal byte.", path, texts[path]->c_str()));
  }
  const bool five = radio_.fiveGhz();
  const std::uint16_t pair = five ? 0x4A : 0x46;
  const std::uint16_t third = five ? 0x4C : 0x48;
  std::string written;
  // Paths 0 and 1 share a word: it is written once.
  const device::ConfigMemory memory = radio_.configMemory();
  if (values[0] || values[1]) {
    std::uint16_t word = 0;
    if (device::ReadEepromWord(memory, pair, word) != NvmResult::Ok) return Outcome::Failed;
    auto changed = word;
    if (values[0]) changed = static_cast<std::uint16_t>((changed & 0xFF00) | *values[0]);
    if (values[1]) changed = static_cast<std::uint16_t>((changed & 0x00FF) | (*values[1] << 8));
    if (changed != word) {
      const NvmResult result = device::WriteEepromWord(memory, pair, changed);
      if (result == NvmResult::Cancelled) return Outcome::Cancelled;
      if (result != NvmResult::Ok) return Outcome::Failed;
      written = Format("0x%02X", pair);
    }
  }
  if (values[2]) {
    const Outcome outcome = replaceByte(third, *values[2]);
    if (outcome != Outcome::Done) return outcome;
    if (!lastWrite_.empty()) written += (written.empty() ? "" : ", ") + lastWrite_;
  }
  lastWrite_ = written;
  return Outcome::Done;
}

EepromTrims::Outcome EepromTrims::applyTxPower(int path, const std::string& text) {
  if (path != 0 && path != 1) return refuse(Format("TX power path %d is not 0 or 1.", path));
  const auto value = ParseByte(text);
  if (!value || *value > 63)
    return refuse(Format("\"TX Power%d (Hex)\": \"%s\" is not a power code 00 to 3F.", path, text.c_str()));
  if (path == 0) {
    if (!radio_.registers().updateMac(kTxPower, ~0x3Fu, *value)) return Outcome::Failed;
    radio_.device().settings.txPower0 = *value;
  } else {
    radio_.device().settings.txPower1 = *value;
  }
  return Outcome::Done;
}

EepromTrims::Outcome EepromTrims::applyFrequencyOffset(const std::string& text) {
  const auto value = ParseByte(text);
  if (!value) return refuse(Format("\"Freq. Offset (Hex)\": \"%s\" is not a hexadecimal byte.", text.c_str()));
  if (!radio_.registers().setRf(0, 12, *value)) return Outcome::Failed;
  radio_.device().settings.frequencyOffset = *value;
  return Outcome::Done;
}

EepromTrims::Outcome EepromTrims::spinTxPower(int path, std::string& field, int step) {
  const auto value = ParseByte(field);
  if (!value) return Outcome::Refused;
  const int moved = *value - step;
  if (moved < 0 || moved > 63) return Outcome::Refused;
  const std::string text = Format("%02X", moved);
  const Outcome outcome = applyTxPower(path, text);
  if (outcome == Outcome::Done) field = text;
  return outcome;
}

EepromTrims::Outcome EepromTrims::spinFrequencyOffset(std::string& field, int step) {
  const auto value = ParseByte(field);
  if (!value) return Outcome::Refused;
  const int moved = *value + step;
  if (moved < 0 || moved > 255) return Outcome::Refused;
  const std::string text = Format("%02X", moved);
  const Outcome outcome = applyFrequencyOffset(text);
  if (outcome == Outcome::Done) field = text;
  return outcome;
}

EepromTrims::Outcome EepromTrims::spinRssiOffset(std::string& field, int step) {
  const auto value = ParseByte(field);
  if (!value) return Outcome::Refused;
  field = Format("%02X", ((*value - step) % 256 + 256) % 256);
  return Outcome::Done;
}

}  // namespace kqa::txrx
