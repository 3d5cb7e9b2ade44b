#include "app/txrx/views/txrx_page.h"

CTXRXPage::CTXRXPage(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(tr("TX/RX"), parent) {
  showLaterVersionNotice(tr("Transmit and receive tests with their statistics, the TX "
                            "descriptor and test frame, firmware download and the RF "
                            "calibrations."));
}

void CTXRXPage::SyncChannelSelection(int) {}
void CTXRXPage::SelectChannel(int) {}
void CTXRXPage::SelectRxPath(int) {}
void CTXRXPage::SetOneRxPath(bool) {}
void CTXRXPage::SelectBandwidth(int) {}
void CTXRXPage::ToggleReceive() {}
void CTXRXPage::StopAllActivities() {}
bool CTXRXPage::ReadOffsets(std::uint8_t&, std::uint8_t&, std::uint8_t&) { return false; }
void CTXRXPage::ShowChipInfo() {}
