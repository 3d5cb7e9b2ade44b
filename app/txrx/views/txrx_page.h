#pragma once

#include <cstdint>

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "TX/RX": transmit and receive tests. The routines below are what the sheet's
// cross-page operations and the device presence check call; they act once the
// page's tests exist and do nothing before.
class CTXRXPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CTXRXPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  // Selects the shared channel in the "Channel" list, without a change.
  void SyncChannelSelection(int index);
  // Selects a channel and runs the channel change.
  void SelectChannel(int index);
  void SelectRxPath(int index);
  void SetOneRxPath(bool on);
  void SelectBandwidth(int index);
  void ToggleReceive();
  // Stops receive, second receive and transmit, each if it runs. Called when
  // the device goes and when the sheet closes.
  void StopAllActivities();
  // The three hexadecimal "Offset" fields; false when one is not a byte.
  bool ReadOffsets(std::uint8_t& first, std::uint8_t& second, std::uint8_t& third);
  // Shows the chip values shared with the RF page.
  void ShowChipInfo();
};
