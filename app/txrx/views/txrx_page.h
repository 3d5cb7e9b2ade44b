#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "TX/RX": transmit and receive tests. What other pages ask of it arrives in
// its hooks: onStopActivities (receive, second receive and transmit, each if
// it runs; also when the device goes and when the sheet closes),
// onChannelChanged, onPathSelected, onBandwidthSelected, onToggleReceive and
// onRadioSettingsChanged. Until its tests exist it answers none of them.
class CTXRXPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CTXRXPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
