#include "app/shell/device_presence.h"

namespace kqa::shell {

PresenceAction DevicePresence::check() {
  PresenceAction action;
  if (deviceReachable_()) {
    if (present_) return action;
    present_ = true;
    action.kind = PresenceAction::Kind::Revive;
    action.enablePages = true;
    action.title = kWorkingTitle;
    action.activeTab = Page::TxRx;
    return action;
  }
  present_ = false;
  action.kind = PresenceAction::Kind::Freeze;
  action.enablePages = false;
  action.stopActivities = true;
  action.title = kFrozenTitle;
  action.activeTab = Page::UsbConfig;
  return action;
}

}  // namespace kqa::shell
