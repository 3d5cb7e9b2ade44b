#include "app/txrx/calibration/iq_compensation.h"

#include "app/device/text_format.h"
#include "app/registers/hex_field.h"

namespace kqa::txrx {
namespace {

constexpr std::array<const char*, 4> kNames = {"Tx0 Gain", "Tx0 Phase", "Tx1 Gain", "Tx1 Phase"};
// What a signed 6-bit field holds.
constexpr int kLowest = -32;
constexpr int kHighest = 31;

// The register's six bits for a value within kLowest..kHighest.
std::uint8_t SixBits(int value) { return static_cast<std::uint8_t>(value < 0 ? value + 64 : value); }

}  // namespace

bool IqCompensation::values(std::array<std::uint8_t, 4>& out) {
  for (std::size_t n = 0; n < fields.size(); ++n) {
    const auto value = registers::ParseHexField(fields[n]);
    const int signedValue = value && *value <= 0xFF ? static_cast<std::int8_t>(*value) : 1000;
    if (signedValue < kLowest || signedValue > kHighest) {
      registers_.device().prompt.showMessage(
          device::Format("%s: \"%s\" is not a signed 6-bit value (00 to 1F for 0 to 31, or E0 to FF for -32 to -1).",
                         kNames[n], fields[n].c_str()));
      return false;
    }
    out[n] = SixBits(signedValue);
  }
  return true;
}

IqCompensation::Outcome IqCompensation::write() {
  std::array<std::uint8_t, 4> v{};
  if (!values(v)) return Outcome::Refused;
  for (std::size_t n = 0; n < v.size(); ++n) {
    const auto index = static_cast<std::uint8_t>(kFirstIndex + n);
    if (!registers_.setBbp(158, index) || !registers_.setBbp(159, enabled ? v[n] : 0)) return Outcome::Failed;
  }
  return Outcome::Done;
}

IqCompensation::Outcome IqCompensation::setEnabled(bool on) {
  enabled = on;
  return write();
}

IqCompensation::Outcome IqCompensation::spin(Field field, int step) {
  std::array<std::uint8_t, 4> v{};
  if (!values(v)) return Outcome::Refused;
  const int current = v[field] > kHighest ? v[field] - 64 : v[field];
  const int moved = current + step;
  if (moved < kLowest || moved > kHighest) return Outcome::Refused;
  fields[field] = device::Format("%02X", static_cast<std::uint8_t>(moved));
  return enabled ? write() : Outcome::Done;
}

IqCompensation::Outcome IqCompensation::calibrate() {
  std::array<std::uint8_t, 4> v{};
  if (!values(v)) return Outcome::Refused;
  const bool ok = registers_.device().prompt.askOkCancel(
      device::Format("Tx0Gain = 0x%X,\nTx0Phase = 0x%X\n\nWrite to EEPROM ?", v[Tx0Gain], v[Tx0Phase]));
  return ok ? Outcome::Done : Outcome::Cancelled;
}

}  // namespace kqa::txrx
