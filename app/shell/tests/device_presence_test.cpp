#include <gtest/gtest.h>

#include "app/shell/device_presence.h"

namespace kqa::shell {
namespace {

using Kind = PresenceAction::Kind;

TEST(DevicePresence, NothingWhilePresentFreezesOnEveryTickWithoutADeviceAndRevivesOnce) {
  bool reachable = true;
  int checks = 0;
  DevicePresence presence([&] {
    ++checks;
    return reachable;
  });
  EXPECT_EQ(presence.check().kind, Kind::None);  // present from the start
  EXPECT_EQ(presence.check().kind, Kind::None);
  EXPECT_EQ(checks, 2);  // the device is asked on every tick
  EXPECT_TRUE(presence.present());

  reachable = false;
  for (int tick = 0; tick < 3; ++tick) {
    const PresenceAction freeze = presence.check();
    EXPECT_EQ(freeze.kind, Kind::Freeze);
    EXPECT_FALSE(freeze.enablePages);
    EXPECT_TRUE(freeze.stopActivities);
    EXPECT_EQ(freeze.title,
              "Kestrel USB QA Test Program (Device Unplug, Frozen the QA Test program!)");
    EXPECT_EQ(freeze.activeTab, Page::UsbConfig);
    EXPECT_FALSE(presence.present());
  }

  reachable = true;
  const PresenceAction revive = presence.check();
  EXPECT_EQ(revive.kind, Kind::Revive);
  EXPECT_TRUE(revive.enablePages);
  EXPECT_FALSE(revive.stopActivities);
  EXPECT_EQ(revive.title, "Kestrel USB QA Test Program (Working!)");
  EXPECT_EQ(revive.activeTab, Page::TxRx);
  EXPECT_EQ(presence.check().kind, Kind::None);

  reachable = false;
  EXPECT_EQ(presence.check().kind, Kind::Freeze);
}

}  // namespace
}  // namespace kqa::shell
