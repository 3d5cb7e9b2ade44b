#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "Sniffer": 802.11 frame capture and decoding. A running capture stops in
// onStopActivities (when the device goes and when the sheet closes).
class CSnifferPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CSnifferPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
