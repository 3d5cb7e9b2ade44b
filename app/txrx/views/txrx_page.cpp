#include "app/txrx/views/txrx_page.h"

CTXRXPage::CTXRXPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(
      tr("Transmit and receive tests with their statistics, the TX "
         "descriptor and test frame, firmware download and the RF "
         "calibrations."));
}
