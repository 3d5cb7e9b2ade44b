#pragma once

#include <functional>
#include <string_view>

#include "app/shell/sheet_layout.h"

namespace kqa::shell {

inline constexpr std::string_view kWorkingTitle = "Kestrel USB QA Test Program (Working!)";
inline constexpr std::string_view kFrozenTitle =
    "Kestrel USB QA Test Program (Device Unplug, Frozen the QA Test program!)";

// What the sheet does after one presence check.
struct PresenceAction {
  enum class Kind {
    None,    // nothing changes
    Freeze,  // the device is gone: disable, stop what runs, show the unplug title
    Revive,  // the device is back: enable, show the working title
  };
  Kind kind = Kind::None;
  bool enablePages = true;      // the tab bar and the governed pages of the page table
  bool stopActivities = false;  // transmissions, reception, sniffing
  std::string_view title;       // empty: keep the title
  Page activeTab = Page::UsbConfig;  // the tab to show (Freeze and Revive only)
};

// The main frame's presence check, run every 500 ms. The device is asked
// through an injected check that opens the connection when none is open and
// reports whether one is open afterwards. The first state is "working", so a
// device present from the start never triggers a revive.
//
// A freeze is repeated on every tick without a device (a page that was
// enabled in the meantime is disabled again); a revive happens once, on the
// first tick that finds the device again.
class DevicePresence {
 public:
  explicit DevicePresence(std::function<bool()> deviceReachable)
      : deviceReachable_(std::move(deviceReachable)) {}

  PresenceAction check();

  bool present() const { return present_; }

 private:
  std::function<bool()> deviceReachable_;
  bool present_ = true;
};

}  // namespace kqa::shell
