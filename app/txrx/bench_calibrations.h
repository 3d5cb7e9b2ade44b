#pragma once

#include <cstdint>

namespace kqa::txrx {

// The firmware download and the RF calibrations the TX/RX bench runs at
// its steps: activation, channel change, the start of a run and its
// compensation timers. The bench calls them; what they do belongs to the
// firmware and calibration tools, which replace these defaults (no
// firmware download, no calibration, a temperature difference of 0).
class BenchCalibrations {
 public:
  virtual ~BenchCalibrations() = default;

  // Downloads "Kestrel.bin" and starts the MCU; true when it runs.
  virtual bool loadFirmware() { return false; }
  // The DC-offset calibration.
  virtual void dcocCalibration() {}
  // The temperature against the EEPROM's reference, as a signed step count.
  virtual std::int8_t temperatureDifference() { return 0; }
  // The TSSI measurement at the end of activation (NIC configuration 1 bit 13).
  virtual void tssiMeasurement() {}
  // One TSSI reading and level step: at the start of a run and on timer 4
  // while "TSSI" is checked.
  virtual void tssiCompensation() {}
  // The temperature compensation step: timer 3 while "Temp. Com." is checked.
  virtual void temperatureCompensation() {}
};

}  // namespace kqa::txrx
