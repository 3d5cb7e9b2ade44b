#include "app/txrx/bench_tools.h"

namespace kqa::txrx {

void BenchTools::attach(TxRxTester& tester) {
  tester_ = &tester;
  rf_.emplace(tester.radio());
  trims_.emplace(tester.radio());
  iq_.emplace(tester.radio().registers());
}

bool BenchTools::loadFirmware() { return firmware.downloadKestrelBin() == page::Outcome::Done; }

void BenchTools::dcocCalibration() {
  if (rf_) rf_->dcoc();
}

std::int8_t BenchTools::temperatureDifference() {
  // After a time-out (told) the firmware hears no difference.
  return rf_ ? rf_->temperatureDifference().value_or(0) : 0;
}

void BenchTools::tssiMeasurement() {
  if (rf_) rf_->measureTssi();
}

CompensationFlags BenchTools::flags() const {
  return {tester_->radio().tssi, tester_->temperatureCompensation, tester_->rxRunning()};
}

void BenchTools::tssiCompensation() {
  if (!rf_) return;
  // The table follows the per-rate power registers as the run has them.
  if (!rf_->fillRatePowerTable()) return;
  CompensationFlags step = flags();
  step.tssi = true;
  rf_->compensationStep(step);
}

void BenchTools::temperatureCompensation() {
  if (!rf_) return;
  CompensationFlags step = flags();
  step.temperature = true;
  if (step.tssi && !rf_->fillRatePowerTable()) return;
  rf_->compensationStep(step);
}

}  // namespace kqa::txrx
