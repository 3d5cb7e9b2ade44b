#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "RF Page 1": the RF transceiver's registers in banks and the channel.
class CRFPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CRFPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  // Selects the shared channel in the channel list, without a change.
  void SyncChannelSelection(int index);
  // Shows the chip values shared with the TX/RX page.
  void ShowChipInfo();
};

// "RF Page 2".
class CRFPage2 : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CRFPage2(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
