#pragma once

#include <filesystem>
#include <optional>

#include "chip/radio/environment.h"

namespace kqa::chip {

// The chip's radio as built (KestrelOptions::radio): the world it sits in
// and the analog errors of this particular part. The defaults give a living
// bench with a part that needs its calibrations.
struct RadioOptions {
  // The environment: `environment` when given, else the file (format in
  // chip/README.md; a bad file makes the Kestrel constructor throw
  // EnvironmentError), else the built-in bench.
  std::optional<Environment> environment = std::nullopt;
  std::filesystem::path environmentFile{};

  double temperatureC = 25.0;  // the die, as the sensor at BBP R47/R49 reads it
  // Receive IQ imbalance: I amplitude x (1 + g/2), Q x (1 - g/2); Q leads by
  // the phase; Q lags I by the group delay.
  double iqGainImbalance = 0.03;
  double iqPhaseDeg = 1.5;
  double iqGroupDelayNs = 0.25;
  // DC at the ADC (LSB) until a DC-offset calibration removes all but 3 %.
  double dcOffsetI = 6.0;
  double dcOffsetQ = -4.0;
  // The crystal's error in ppm with RF bank 0 R12 at the factory trim 0x24;
  // each step of R12 above it lowers the frequency by 0.25 ppm.
  double crystalPpm = 1.5;
};

}  // namespace kqa::chip
