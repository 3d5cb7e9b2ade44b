#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/shell/page/outcome.h"
#include "app/txrx/radio_control.h"

namespace kqa::txrx {

// The TSSI measurement's readings (TX0 and, with two TX paths, TX1).
struct TssiMeasurement {
  std::uint8_t base0 = 0;      // TX0 detector, transmitter off, normal sensitivity
  std::uint8_t reading0 = 0;   // with the test tone
  std::uint8_t base1 = 0;      // the same at high sensitivity
  std::uint8_t reading1 = 0;
  std::int16_t d0 = 0;         // D(reading0 - base0)
  std::int16_t d1 = 0;         // D(reading1 - base1)
  std::int16_t difference = 0; // d1 - d0
  std::uint8_t tx1Base = 0;
  std::uint8_t tx1Reading = 0;
  std::uint8_t alc = 0;        // what MAC 0x13B4 bits 0-5 became
};

// One entry of the per-rate power table of the level control.
struct RatePower {
  std::int8_t power = 0;  // 6-bit signed offset
  std::uint8_t powerClass = 0;
};
inline constexpr std::size_t kRatePowerEntries = 4 + 8 + 16 + 1;  // CCK, OFDM, MCS 0-15, MCS 32

// What the compensation timers find checked and running.
struct CompensationFlags {
  bool tssi = false;         // "TSSI"
  bool temperature = false;  // "Temp. Com."
  bool receiving = false;    // RX runs: the temperature correction applies
};

// The RF calibrations and compensations of the TX/RX bench: DC offset,
// temperature, TSSI with its level control of MAC 0x13B4, the RX and TX
// mismatch calibrations and the compensation step of the page's timers.
//
// Waits go through the device's clock. A calibration that times out says so
// ("DCOC Calibration Fail !", "TSSI measurement timeout !", ...) and writes
// no result: the registers it borrowed are restored, MAC 0x13B4, the BBP
// temperature settings and the firmware are left as they were.
class RfCalibrations {
 public:
  using Outcome = page::Outcome;

  explicit RfCalibrations(RadioControl& radio);

  // Compensation step 3 with "Temp. Com.": primes the continuous run (the
  // bench sets it; none: nothing is primed).
  std::function<void()> primeTransmitter;

  // DC-offset calibration, up to 300 polls 10 ms apart.
  Outcome dcoc();
  // The die temperature against the EEPROM's reference (word 0xD0 high
  // byte), in sensor steps; nullopt after a time-out (told).
  std::optional<std::int8_t> temperatureDifference();
  // The four-pass TSSI measurement and the level it sets in MAC 0x13B4.
  Outcome measureTssi();
  const TssiMeasurement& lastTssi() const { return tssi_; }

  // "RF Rx MisMatch" / "RF Tx MisMatch": the verdict (indirect index 5)
  // in lastMismatch(); a verdict other than 0x1C is shown.
  Outcome rxMismatch();
  Outcome txMismatch();
  std::uint8_t lastMismatch() const { return mismatch_; }
  // "Compensation".
  Outcome compensation();

  // The temperature correction for the difference `t` (sensor steps).
  Outcome temperatureCorrection(std::int8_t t);
  // One step of the compensation timers (3: temperature, 4: TSSI).
  Outcome compensationStep(const CompensationFlags& flags);
  // The per-rate power table from MAC 0x1314-0x1320, 0x13D4, 0x13D8 and
  // the classes of 0x121C.
  bool fillRatePowerTable();
  // One level-control step for the packet information `q` and the TX0
  // detector reading `t`.
  Outcome levelControlUpdate(std::uint8_t q, std::uint8_t t);
  // "TSSI" unchecked: the level control's step is cleared.
  Outcome clearLevelControl();

  bool sourceFlag() const { return sourceFlag_; }
  int previousError() const { return previousError_; }
  const std::array<RatePower, kRatePowerEntries>& ratePowers() const { return ratePowers_; }

 private:
  bool writeIndirect(std::uint8_t index, std::uint8_t value);
  bool readIndirect(std::uint8_t index, std::uint8_t& value);
  Outcome mismatch(bool transmit);
  bool startConversion();
  bool waitConversion(bool& timedOut);
  std::uint8_t temperatureReference();
  std::int8_t channelOffset(std::uint16_t word6e, std::uint16_t word70) const;
  bool readTssiParameters(std::uint8_t& a, std::int8_t& b);
  // R47 := (R47 & keep) | select, then R49.
  bool readSensor(std::uint8_t keep, std::uint8_t select, std::uint8_t& value);

  RadioControl& radio_;
  ChipRegisters& r_;
  TssiMeasurement tssi_;
  std::uint8_t mismatch_ = 0;
  bool sourceFlag_ = false;
  int previousError_ = 0;
  std::array<RatePower, kRatePowerEntries> ratePowers_{};
};

}  // namespace kqa::txrx
