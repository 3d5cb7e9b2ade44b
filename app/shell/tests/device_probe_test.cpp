#include <gtest/gtest.h>

#include "app/device/tests/fake_device.h"
#include "app/shell/device_probe.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::shell {
namespace {

using device::testing::TestBed;

TEST(DeviceProbe, ADeviceThatWentAwayIsNoticedWithoutAnyPageCallingIt) {
  TestBed bed;
  EXPECT_TRUE(DeviceReachable(bed.device));
  EXPECT_TRUE(bed.device.hDevice.isOpen());

  // Pulled: the open connection answers "not connected" and no new one opens.
  bed.chip.connected = false;
  bed.chip.present = false;
  EXPECT_FALSE(DeviceReachable(bed.device));
  EXPECT_FALSE(bed.device.hDevice.isOpen());
  EXPECT_FALSE(DeviceReachable(bed.device));

  bed.chip.connected = true;
  bed.chip.present = true;
  EXPECT_TRUE(DeviceReachable(bed.device));
  EXPECT_TRUE(bed.prompt.messages().empty());  // the probe never bothers the user
}

TEST(DeviceProbe, OtherFailuresDoNotCountAsUnplugged) {
  TestBed bed;
  bed.chip.failAlways(ioctl::VQ_OID_USB_GET_FIRMWARE_VERSION, ERROR_GEN_FAILURE);
  EXPECT_TRUE(DeviceReachable(bed.device));
  EXPECT_TRUE(bed.device.hDevice.isOpen());
}

}  // namespace
}  // namespace kqa::shell
