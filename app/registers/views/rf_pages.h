#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "RF Page 1": the RF transceiver's registers in banks and the channel. Its
// channel list follows onChannelChanged; the TX power values it shares with
// the TX/RX page follow onRadioSettingsChanged.
class CRFPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CRFPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

// "RF Page 2".
class CRFPage2 : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CRFPage2(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
