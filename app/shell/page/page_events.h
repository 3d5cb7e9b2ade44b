#pragma once

#include <variant>

namespace kqa::page {

// What passes between pages. A page tells an event to the others through its sheet; the
// sheet hands it to every other page that has been shown (a page never shown
// has no controls to update and nothing running), and each page answers in
// its hook (PropertyPage::onStopActivities, ...). Values several pages show
// (the channel index, the RF bank, the product id, the TX power settings)
// live in the device context; the events only say that they changed.

// Stop transmissions, reception, sniffing and captures. The sheet tells it
// when the device goes and when it closes; the FFT page before it captures.
struct StopActivities {
  bool operator==(const StopActivities&) const = default;
};

// The shared channel index changed to `index`. Pages with a channel list
// select it; with `tune` set, the page that drives the radio (TX/RX) also
// runs its channel change, which programs the chip for the channel.
struct ChannelChanged {
  int index = 0;
  bool tune = false;
  bool operator==(const ChannelChanged&) const = default;
};

// Receive paths chosen on a measurement page: "One RX Path" and the entry of
// the receive-path list. The TX/RX page applies them in that order.
struct PathSelected {
  bool oneRxPath = true;
  int rxPath = 0;
  bool operator==(const PathSelected&) const = default;
};

// The entry of the "Bandwidth" list chosen on a measurement page.
struct BandwidthSelected {
  int index = 0;
  bool operator==(const BandwidthSelected&) const = default;
};

// Start reception if it is stopped, stop it if it runs (the TX/RX page's
// receive toggle, used by the BBP pages and the noise level scan).
struct ToggleReceive {
  bool operator==(const ToggleReceive&) const = default;
};

// The TX power and frequency offset settings that the RF and TX/RX pages
// share changed; pages that show them show them again.
struct RadioSettingsChanged {
  bool operator==(const RadioSettingsChanged&) const = default;
};

using PageEvent = std::variant<StopActivities, ChannelChanged, PathSelected, BandwidthSelected,
                               ToggleReceive, RadioSettingsChanged>;

}  // namespace kqa::page
