#pragma once

#include <cstdint>

namespace kqa::shell {

// The operations through which one page updates another (chiefly the shared
// channel selection). Pages call them on their sheet; the sheet forwards each
// to the page concerned, and only when that page has been shown (a page that
// was never shown has no controls to update).
class SheetOperations {
 public:
  // Selects the shared channel index in the RF and TX/RX channel lists.
  virtual void SyncChannelSelection() = 0;
  // Selects a TX/RX channel and runs the TX/RX page's channel change.
  virtual void SelectTxRxChannel(int index) = 0;
  virtual void SelectTxRxPath(int index) = 0;
  virtual void SetTxRxOneRxPath(bool on) = 0;
  virtual void SelectTxRxBandwidth(int index) = 0;
  // The TX/RX page's receive start/stop toggle.
  virtual void ToggleTxRxReceive() = 0;
  // Stops receive, second receive and transmit, each if running.
  virtual void StopTxRxActivities() = 0;
  // The three hexadecimal "Offset" fields of the TX/RX page; false when that
  // page has not been shown or a field does not hold a hexadecimal byte.
  virtual bool ReadTxRxOffsets(std::uint8_t& first, std::uint8_t& second,
                               std::uint8_t& third) = 0;
  // Shows the chip values the RF and TX/RX pages share on one of them.
  virtual void ShowChipInfoOnTxRx() = 0;
  virtual void ShowChipInfoOnRf() = 0;

 protected:
  ~SheetOperations() = default;
};

}  // namespace kqa::shell
