#include "app/txrx/calibration/rf_calibrations.h"

#include <algorithm>
#include <cstdlib>

#include "app/device/config_memory.h"
#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "app/txrx/calibration/level_conversion.h"
#include "app/txrx/start_tables.h"
#include "platform/clock/polling.h"

namespace kqa::txrx {
namespace {

using namespace std::chrono_literals;
using device::Format;

constexpr std::uint8_t kIndex = 158;  // BBP R158/R159: the calibration engines' indirect pair
constexpr std::uint8_t kData = 159;
constexpr std::uint8_t kSensorControl = 47;
constexpr std::uint8_t kSensorResult = 49;
constexpr std::uint8_t kConversionBusy = 0x10;
constexpr std::uint8_t kResultsReady = 0x40;
constexpr std::uint32_t kMacControl = 0x1004;
constexpr std::uint32_t kTxPower = 0x13B0;
constexpr std::uint32_t kLevelControl = 0x13B4;
constexpr std::uint8_t kGoodMismatch = 0x1C;
constexpr int kSensorPolls = 300;  // 10 ms apart

constexpr const char* kDcocFailed = "DCOC Calibration Fail !";
constexpr const char* kTssiTimeout = "TSSI measurement timeout !";
constexpr const char* kTemperatureTimeout = "Temperature reading timeout !";

std::int8_t Signed6(std::uint32_t bits) {
  const int v = static_cast<int>(bits & 0x3F);
  return static_cast<std::int8_t>(v >= 32 ? v - 64 : v);
}

std::uint16_t EepromWord(device::ConfigMemory memory, std::uint16_t offset) {
  std::uint16_t value = 0;
  device::ReadEepromWord(memory, offset, value);
  return value;
}

// Where each entry of the per-rate table takes its power (bits 0-5 of a byte
// of a MAC register) and its class (two bits of MAC 0x121C, or fixed).
struct RatePowerSource {
  std::uint16_t reg;
  std::uint8_t byte;
  std::int8_t classShift;  // -1: fixed
  std::uint8_t fixedClass;
};
constexpr std::array<RatePowerSource, kRatePowerEntries> kRatePowerSources = {{
    // CCK 0-3
    {0x1314, 0, 0, 0}, {0x1314, 0, 2, 0}, {0x1314, 1, 4, 0}, {0x1314, 1, 6, 0},
    // OFDM 0-7
    {0x1314, 2, 8, 0}, {0x1314, 2, 10, 0}, {0x1314, 3, 12, 0}, {0x1314, 3, 14, 0},
    {0x1318, 0, 16, 0}, {0x1318, 0, 18, 0}, {0x1318, 1, 20, 0}, {0x13D4, 0, 22, 0},
    // MCS 0-15
    {0x1318, 2, -1, 0}, {0x1318, 2, -1, 3}, {0x1318, 3, -1, 1}, {0x1318, 3, -1, 0},
    {0x131C, 0, -1, 2}, {0x131C, 0, -1, 0}, {0x131C, 1, -1, 1}, {0x13D4, 2, -1, 0},
    {0x131C, 2, -1, 0}, {0x131C, 2, -1, 0}, {0x131C, 3, -1, 0}, {0x131C, 3, -1, 0},
    {0x1320, 0, -1, 0}, {0x1320, 0, -1, 0}, {0x1320, 1, -1, 0}, {0x13D8, 0, -1, 0},
    // MCS 32
    {0x1318, 2, 24, 0},
}};
constexpr std::size_t kCckFirst = 0;
constexpr std::size_t kOfdmFirst = 4;
constexpr std::size_t kMcsFirst = 12;
constexpr std::size_t kMcs32 = 28;

// The OFDM entry of a SIGNAL rate code (6 Mbps 0xB ... 54 Mbps 0xC).
std::size_t OfdmEntry(unsigned code) {
  switch (code) {
    case 0xB: return 0;
    case 0xF: return 1;
    case 0xA: return 2;
    case 0xE: return 3;
    case 0x9: return 4;
    case 0xD: return 5;
    case 0x8: return 6;
    case 0xC: return 7;
    default: return 0;
  }
}

}  // namespace

RfCalibrations::RfCalibrations(RadioControl& radio) : radio_(radio), r_(radio.registers()) {}

bool RfCalibrations::writeIndirect(std::uint8_t index, std::uint8_t value) {
  return r_.setBbp(kIndex, index) && r_.setBbp(kData, value);
}

bool RfCalibrations::readIndirect(std::uint8_t index, std::uint8_t& value) {
  return r_.setBbp(kIndex, index) && r_.readBbp(kData, value);
}

// --- DC offset -----------------------------------------------------------------

RfCalibrations::Outcome RfCalibrations::dcoc() {
  std::uint32_t saved = 0;
  if (!device::RegisterAccess(radio_.device()).ReadMacRegister(kMacControl, saved)) return Outcome::Failed;
  if (!r_.setMac(kMacControl, saved | 0x8)) return Outcome::Failed;
  bool ok = writeIndirect(0x8D, 0xFC) && writeIndirect(0x8C, 0x4C);
  bool done = false;
  if (ok) {
    done = PollUntil(radio_.device().clock, kSensorPolls, 10ms, [&] {
             std::uint8_t status = 0;
             if (!r_.readBbp(kData, status)) {
               ok = false;
               return true;  // a failed read ends the wait
             }
             return (status & 0x40) == 0;
           }).satisfied && ok;
  }
  // The engine's setting and MAC 0x1004 go back whatever happened.
  ok = writeIndirect(0x8D, 0xE0) && ok;
  ok = r_.setMac(kMacControl, saved) && ok;
  if (!ok) return Outcome::Failed;
  if (!done) {
    radio_.device().prompt.showMessage(kDcocFailed);
    return Outcome::Failed;
  }
  return Outcome::Done;
}

// --- Temperature ---------------------------------------------------------------

bool RfCalibrations::startConversion() {
  return r_.updateBbp(kSensorControl, 0xDF, 0x40) && r_.setBbp(58, 0) &&
         r_.updateBbp(kSensorControl, 0xFF, kConversionBusy);
}

bool RfCalibrations::waitConversion(bool& timedOut) {
  bool ok = true;
  const bool done = PollUntil(radio_.device().clock, kSensorPolls, 10ms, [&] {
                      std::uint8_t control = 0;
                      if (!r_.readBbp(kSensorControl, control)) {
                        ok = false;
                        return true;
                      }
                      return (control & kConversionBusy) == 0;
                    }).satisfied;
  timedOut = ok && !done;
  return ok && done;
}

std::uint8_t RfCalibrations::temperatureReference() {
  return static_cast<std::uint8_t>(EepromWord(radio_.configMemory(), 0xD0) >> 8);
}

std::optional<std::int8_t> RfCalibrations::temperatureDifference() {
  bool timedOut = false;
  if (!startConversion() || !waitConversion(timedOut)) {
    if (timedOut) radio_.device().prompt.showMessage(kTemperatureTimeout);
    return std::nullopt;
  }
  if (!r_.updateBbp(kSensorControl, 0xFC, 0x04)) return std::nullopt;
  radio_.device().clock.sleepMs(10);
  std::uint8_t t = 0;
  if (!r_.readBbp(kSensorResult, t)) return std::nullopt;
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(t - temperatureReference()));
}

RfCalibrations::Outcome RfCalibrations::temperatureCorrection(std::int8_t t) {
  const bool wide = radio_.wide;
  const bool cold = t * 3.89 <= -25.0;
  bool ok = true;
  if (cold) {
    ok = r_.setBbp(75, wide ? 0x5C : 0x5E) && r_.setBbp(92, wide ? 0x03 : 0x02);
    const std::array<BbpIndirectValue, 2> table =
        wide ? std::array<BbpIndirectValue, 2>{{{0x23, 0x10}, {0x88, 0x5B}}}
             : std::array<BbpIndirectValue, 2>{{{0x23, 0x17}, {0x88, 0x5E}}};
    for (const BbpIndirectValue& entry : table) ok = r_.setBbpIndirect(entry.index, entry.value) && ok;
  } else {
    ok = r_.setBbp(75, 0x60) && r_.setBbp(92, 0x02);
    for (const BbpIndirectValue& entry : BandwidthTable(wide)) ok = r_.setBbpIndirect(entry.index, entry.value) && ok;
  }
  if (!ok) return Outcome::Failed;
  radio_.sendFunction(7, static_cast<std::uint32_t>(t * 10));
  return dcoc();
}

// --- TSSI ------------------------------------------------------------------------

std::int8_t RfCalibrations::channelOffset(std::uint16_t word6e, std::uint16_t word70) const {
  const int channel = radio_.channelNumber();
  if (channel >= 1 && channel <= 4) return static_cast<std::int8_t>(word6e >> 8);
  if (channel >= 5 && channel <= 8) return static_cast<std::int8_t>(word70 & 0xFF);
  return static_cast<std::int8_t>(word70 >> 8);
}

bool RfCalibrations::readTssiParameters(std::uint8_t& a, std::int8_t& b) {
  std::uint16_t word6e = 0;
  std::uint16_t word70 = 0;
  const device::ConfigMemory memory = radio_.configMemory();
  if (device::ReadEepromWord(memory, 0x6E, word6e) != device::NvmResult::Ok ||
      device::ReadEepromWord(memory, 0x70, word70) != device::NvmResult::Ok)
    return false;
  a = static_cast<std::uint8_t>(word6e & 0xFF);
  b = channelOffset(word6e, word70);
  return true;
}

RfCalibrations::Outcome RfCalibrations::measureTssi() {
  device::RegisterAccess access(radio_.device());
  std::uint32_t saved050C = 0;
  std::uint32_t saved0504 = 0;
  std::uint32_t saved1004 = 0;
  if (!access.ReadMacRegister(0x050C, saved050C) || !access.ReadMacRegister(0x0504, saved0504) ||
      !access.ReadMacRegister(kMacControl, saved1004))
    return Outcome::Failed;
  std::uint8_t savedB5R3 = 0;
  std::uint8_t savedB4R39 = 0;
  std::uint8_t value = 0;
  if (!access.AccessRfRegister(device::kRegisterRead, 5, 3, savedB5R3) ||
      !access.AccessRfRegister(device::kRegisterRead, 4, 39, savedB4R39))
    return Outcome::Failed;

  bool ok = r_.setMac(0x0504, 0) && r_.setMac(0x050C, 0x30) && r_.setMac(0x0504, 0x000C0030) &&
            r_.setMac(kMacControl, 0) && r_.setRf(5, 3, 0x08);
  bool timedOut = false;
  TssiMeasurement m;
  const bool twoPaths = radio_.txPaths() >= 2;
  for (int k = 0; k < 4 && ok && !timedOut; ++k) {
    const bool toned = k == 1 || k == 3;
    ok = r_.setRf(4, 39, toned ? savedB4R39 : 0) && r_.setRf(5, 3, k < 2 ? 0x08 : 0x11) && r_.setBbp(58, 0) &&
         r_.setBbp(22, 0) && r_.setBbp(244, 0) && r_.pulseBbpR21() && r_.setBbp(kSensorControl, 0x50);
    if (ok && toned) ok = r_.setBbp(23, 0x08) && r_.setBbp(241, 0x02) && r_.setBbp(244, 0x31);
    if (ok && !toned) ok = r_.setBbp(22, 0x40);
    if (!ok) break;
    const bool ready = PollUntil(radio_.device().clock, 1000, 1ms, [&] {
                         std::uint8_t control = 0;
                         if (!r_.readBbp(kSensorControl, control)) ok = false;
                         return !ok || (control & kResultsReady) != 0;
                       }).satisfied;
    if (ok && !ready) timedOut = true;
    if (ok && !timedOut) {
      std::uint8_t t = 0;
      ok = r_.setBbp(kSensorControl, 0x40) && r_.readBbp(kSensorResult, t);
      switch (k) {
        case 0: m.base0 = t; break;
        case 1: m.reading0 = t; m.d0 = LevelConversion(static_cast<std::uint16_t>(t - m.base0)); break;
        case 2: m.base1 = t; break;
        case 3: m.reading1 = t; m.d1 = LevelConversion(static_cast<std::uint16_t>(t - m.base1)); break;
      }
      if (ok && twoPaths) {
        ok = r_.setBbp(kSensorControl, 0x45) && r_.readBbp(kSensorResult, value);
        (k == 0 ? m.tx1Base : m.tx1Reading) = value;
      }
    }
    ok = r_.setBbp(22, 0) && r_.setBbp(244, 0) && r_.pulseBbpR21() && ok;
  }
  m.difference = static_cast<std::int16_t>(m.d1 - m.d0);

  // What the measurement borrowed goes back in any case.
  bool restored = r_.setMac(0x0504, 0) && r_.setMac(0x050C, saved050C) && r_.setMac(0x0504, saved0504);
  restored = r_.setRf(5, 3, savedB5R3) && restored;
  restored = r_.setRf(4, 39, savedB4R39) && restored;
  restored = r_.setMac(kMacControl, saved1004) && restored;
  if (timedOut) {
    radio_.device().prompt.showMessage(kTssiTimeout);
    return Outcome::Failed;
  }
  if (!ok || !restored) return Outcome::Failed;

  std::uint8_t a = 0;
  std::int8_t b = 0;
  if (!readTssiParameters(a, b)) return Outcome::Failed;
  const int v = (b - 32) * 512 + m.d0 * a;
  const int step = -(v / 4096);
  m.alc = static_cast<std::uint8_t>(((step % 64) + 64) % 64);
  if (!r_.updateMac(kLevelControl, ~0x3Fu, m.alc)) return Outcome::Failed;
  tssi_ = m;
  sourceFlag_ = false;
  return Outcome::Done;
}

bool RfCalibrations::fillRatePowerTable() {
  device::RegisterAccess access(radio_.device());
  std::uint32_t classes = 0;
  if (!access.ReadMacRegister(0x121C, classes)) return false;
  std::array<RatePower, kRatePowerEntries> table{};
  for (std::size_t n = 0; n < table.size(); ++n) {
    const RatePowerSource& source = kRatePowerSources[n];
    std::uint32_t word = 0;
    if (!access.ReadMacRegister(source.reg, word)) return false;
    table[n].power = Signed6(word >> (8 * source.byte));
    table[n].powerClass = source.classShift < 0 ? source.fixedClass
                                                : static_cast<std::uint8_t>((classes >> source.classShift) & 3);
  }
  ratePowers_ = table;
  return true;
}

bool RfCalibrations::readSensor(std::uint8_t keep, std::uint8_t select, std::uint8_t& value) {
  return r_.updateBbp(kSensorControl, keep, select) && r_.readBbp(kSensorResult, value);
}

RfCalibrations::Outcome RfCalibrations::levelControlUpdate(std::uint8_t q, std::uint8_t t) {
  device::RegisterAccess access(radio_.device());
  std::uint32_t basePowers = 0;
  if (!access.ReadMacRegister(kTxPower, basePowers)) return Outcome::Failed;
  const int b0 = static_cast<int>(basePowers & 0x3F);
  const unsigned mode = q & 3;
  std::size_t entry = kCckFirst + ((q >> 4) & 3);
  if (mode == 1) entry = kOfdmFirst + OfdmEntry((q >> 4) & 0xF);
  if (mode >= 2) {
    std::uint8_t mcs = 0;
    if (!readSensor(0xFA, 0x02, mcs)) return Outcome::Failed;
    mcs &= 0x7F;
    // MCS 32 has its own entry; numbers the table lacks take MCS 0's.
    entry = mcs == 32 ? kMcs32 : kMcsFirst + (mcs < 16 ? mcs : 0);
  }
  const int target = ratePowers_[entry].power + b0;
  const int powerClass = ratePowers_[entry].powerClass;

  std::uint32_t level = 0;
  if (!access.ReadMacRegister(kLevelControl, level)) return Outcome::Failed;
  int v = Signed6(level);

  std::int64_t e = static_cast<std::int64_t>(target) * 4096;
  if (powerClass == 1) e += 0x5000;
  if (powerClass == 2 || powerClass == 3) e += 0x1000;
  if (mode == 0) {
    std::uint8_t r178 = 0;
    if (!r_.readBbp(178, r178)) return Outcome::Failed;
    e += r178 != 0 ? 0x3333 : 0x6000;
  }
  e += static_cast<std::int8_t>(EepromWord(radio_.configMemory(), 0x76) & 0xFF) * 1024;
  std::uint8_t r1 = 0;
  if (!r_.readBbp(1, r1)) return Outcome::Failed;
  constexpr std::array<std::int64_t, 4> kDacTerm = {0, -0xC000, -0x18000, 0xC000};
  e += kDacTerm[r1 & 3];

  std::uint8_t a = 0;
  std::int8_t b = 0;
  if (!readTssiParameters(a, b)) return Outcome::Failed;
  const int base = sourceFlag_ ? tssi_.base1 : tssi_.base0;
  std::int64_t measured = LevelConversion(static_cast<std::uint16_t>(t - base));
  if (sourceFlag_) measured -= tssi_.difference;
  e -= measured * a + b * 512;

  if (t > 126 && e > 0) e = 0;
  if (t - base < 1 && e < 0) e = 0;

  const std::int64_t p = previousError_;
  const bool opposite = (e > 0 && p < 0) || (e < 0 && p > 0);
  const std::int64_t sum = p + e;
  const bool keepsSign = (p > 0 && sum > 0) || (p < 0 && sum < 0) || (sum == 0 && e > 0);
  if (opposite && std::llabs(e) <= 0xFFF && std::llabs(p) < 0x1000 && keepsSign)
    e = 0;
  else
    previousError_ = static_cast<int>(e);

  std::int64_t step = e > 0 ? (e + 0x800) / 4096 : (e - 0x800) / 4096;
  if (a > 0xA0 || a < 0x60) step = 0;
  v = static_cast<int>(std::clamp<std::int64_t>(v + step, -31, 31));
  if (!r_.setMac(kLevelControl, (level & 0x0FFFFFC0) | (static_cast<std::uint32_t>(v) & 0x3F)))
    return Outcome::Failed;
  sourceFlag_ = b0 <= 20;
  return Outcome::Done;
}

RfCalibrations::Outcome RfCalibrations::clearLevelControl() {
  return page::DoneIf(r_.updateMac(kLevelControl, ~0x3Fu, 0));
}

RfCalibrations::Outcome RfCalibrations::compensationStep(const CompensationFlags& flags) {
  bool ok = true;
  if (flags.tssi) {
    ok = r_.updateRf(5, 3, 0xE8, 0x08) && (sourceFlag_ ? r_.updateRf(5, 3, 0xF1, 0x11) : r_.updateRf(5, 3, 0xE8, 0x08));
    if (ok && radio_.txPaths() >= 2) ok = r_.updateRf(7, 3, 0xE8, 0x08);
  }
  if (!ok || !startConversion()) return Outcome::Failed;
  if (flags.temperature && primeTransmitter) primeTransmitter();
  bool timedOut = false;
  if (!waitConversion(timedOut)) {
    if (timedOut) radio_.device().prompt.showMessage(flags.tssi ? kTssiTimeout : kTemperatureTimeout);
    return Outcome::Failed;
  }
  Outcome outcome = Outcome::Done;
  if (flags.temperature) {
    std::uint8_t t = 0;
    if (!r_.updateBbp(kSensorControl, 0xFC, 0x04)) return Outcome::Failed;
    radio_.device().clock.sleepMs(10);
    if (!r_.readBbp(kSensorResult, t)) return Outcome::Failed;
    const auto difference = static_cast<std::int8_t>(static_cast<std::uint8_t>(t - temperatureReference()));
    if (flags.receiving) outcome = temperatureCorrection(difference);
  }
  if (flags.tssi) {
    std::uint8_t t0 = 0;
    std::uint8_t q = 0;
    std::uint8_t t1 = 0;
    if (!readSensor(0xF8, 0x00, t0)) return Outcome::Failed;
    if (radio_.txPaths() >= 2 && !readSensor(0xFD, 0x05, t1)) return Outcome::Failed;
    if (!readSensor(0xF9, 0x01, q)) return Outcome::Failed;
    const Outcome level = levelControlUpdate(q, t0);
    if (level != Outcome::Done) outcome = level;
  }
  return outcome;
}

// --- Mismatch and compensation buttons ----------------------------------------------

RfCalibrations::Outcome RfCalibrations::mismatch(bool transmit) {
  std::uint8_t source = 0;
  if (!r_.readBbp(transmit ? 4 : 1, source)) return Outcome::Failed;
  const auto index5 = static_cast<std::uint8_t>(transmit ? ((source & 0x04) << 4) | 0x1C : ((source & 0x04) << 3) | 0x1C);
  const std::array<std::pair<std::uint8_t, std::uint8_t>, 7> writes = {{
      {3, static_cast<std::uint8_t>(transmit ? 0xEE : 0x0E)},
      {4, static_cast<std::uint8_t>(transmit ? 0x03 : 0x00)},
      {5, index5},
      {6, 0x55},
      {7, 0x55},
      {0, static_cast<std::uint8_t>(transmit ? 0x84 : 0x83)},
      {0, static_cast<std::uint8_t>(transmit ? 0x04 : 0x03)},
  }};
  for (const auto& [index, value] : writes)
    if (!writeIndirect(index, value)) return Outcome::Failed;
  std::uint8_t r = 0;
  if (!readIndirect(5, r)) return Outcome::Failed;
  mismatch_ = r;
  if (r == kGoodMismatch) return Outcome::Done;
  std::string text = Format("%s MisMatch Calibration :\n\nBBP R159 = 0x%08X\n", transmit ? "RF Tx" : "RF Rx",
                            static_cast<unsigned>(r));
  const bool gainLow = (r & 1) != 0;
  const bool dcHigh = (r & 2) != 0;
  if (gainLow) text += "bit0 = 1, the VGA gain is too low";
  if (gainLow && dcHigh) text += "\n";
  if (dcHigh) text += "bit1 = 1, the residual DC is too high";
  radio_.device().prompt.showMessage(text);
  return Outcome::Done;
}

RfCalibrations::Outcome RfCalibrations::rxMismatch() { return mismatch(false); }
RfCalibrations::Outcome RfCalibrations::txMismatch() { return mismatch(true); }

RfCalibrations::Outcome RfCalibrations::compensation() {
  return page::DoneIf(writeIndirect(4, 0x0F) && writeIndirect(4, 0x03) && writeIndirect(4, 0x0C));
}

}  // namespace kqa::txrx
