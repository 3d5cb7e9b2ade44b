#include <gtest/gtest.h>

#include "app/shell/device_presence.h"

namespace kqa::shell {
namespace {

using Kind = PresenceAction::Kind;

TEST(DevicePresence, ADevicePresentFromTheStartChangesNothing) {
  int checks = 0;
  DevicePresence presence([&] { return ++checks > 0; });
  EXPECT_EQ(presence.check().kind, Kind::None);
  EXPECT_EQ(presence.check().kind, Kind::None);
  EXPECT_EQ(checks, 2);  // the device is asked on every tick
  EXPECT_TRUE(presence.present());
}

TEST(DevicePresence, FreezesOnEveryTickWithoutADeviceAndRevivesOnce) {
  bool reachable = false;
  DevicePresence presence([&] { return reachable; });

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
