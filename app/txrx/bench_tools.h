#pragma once

#include <optional>

#include "app/device/device_context.h"
#include "app/txrx/bench_calibrations.h"
#include "app/txrx/calibration/eeprom_trims.h"
#include "app/txrx/calibration/iq_compensation.h"
#include "app/txrx/calibration/rf_calibrations.h"
#include "app/txrx/firmware_loader.h"
#include "app/txrx/txrx_tester.h"

namespace kqa::txrx {

// The firmware download and the RF calibrations, as the TX/RX bench runs
// them at its steps and as the page's firmware and calibration groups
// offer them. Built before the tester it serves (which takes it as its
// BenchCalibrations) and attached to it afterwards:
//
//   BenchTools tools(device);
//   TxRxTester tester(device, &tools);
//   tools.attach(tester);
//
// Until attached only the firmware download works; the calibrations do
// nothing.
class BenchTools final : public BenchCalibrations {
 public:
  explicit BenchTools(device::DeviceContext& device) : firmware(device) {}

  void attach(TxRxTester& tester);
  bool attached() const { return tester_ != nullptr; }

  FirmwareLoader firmware;
  // Valid once attached.
  RfCalibrations& rf() { return *rf_; }
  EepromTrims& trims() { return *trims_; }
  IqCompensation& iq() { return *iq_; }

  bool loadFirmware() override;
  void dcocCalibration() override;
  std::int8_t temperatureDifference() override;
  void tssiMeasurement() override;
  void tssiCompensation() override;
  void temperatureCompensation() override;

 private:
  CompensationFlags flags() const;

  TxRxTester* tester_ = nullptr;
  std::optional<RfCalibrations> rf_;
  std::optional<EepromTrims> trims_;
  std::optional<IqCompensation> iq_;
};

}  // namespace kqa::txrx
