#include "app/measure/views/measure_pages.h"

CNoiseLevelPage::CNoiseLevelPage(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(parent) {
  showLaterVersionNotice(tr("A per-channel noise level (RSSI) scan."));
}

CFftGraphPage::CFftGraphPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(tr("Baseband capture with its spectrum and the RX EVM."));
}

CPAPDTESTPage::CPAPDTESTPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(tr("PA/PD tests with the waveform and table memories."));
}

CIQCalibrationPage::CIQCalibrationPage(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(parent) {
  showLaterVersionNotice(tr("IQ calibration of the transmit and receive paths."));
}
