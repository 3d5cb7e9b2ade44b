#include <gtest/gtest.h>

#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/select/device_select.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::ioctl {
namespace {

DeviceSpec SocketAt(const std::string& path) {
  DeviceSpec spec;
  spec.kind = DeviceSpec::Kind::Socket;
  spec.socketPath = path;
  return spec;
}

TEST(OpenDevice, SocketDeviceDescribesWhatTheDaemonServes) {
  testing::ServedFake served;
  VirtualClock clock;
  std::string error;
  auto device = OpenDevice(SocketAt(served.path), clock, error);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(device->description(), "fake Kestrel via kestrelqa-usbd at " + served.path);
  EXPECT_EQ(device->deviceName(), "fake Kestrel");
  EXPECT_TRUE(device->isEmulated());
  EXPECT_FALSE(device->unplug()) << "only the daemon unplugs its chip";
  EXPECT_FALSE(device->replug());

  auto opened = device->provider().open(kQaInterfaceClass, 0);
  ASSERT_TRUE(opened.handle);
  EXPECT_TRUE(testing::ReadsRegisterCorrectly(*opened.handle, 0x0000));
}

TEST(OpenDevice, SocketWithoutADaemonFailsWithAReason) {
  testing::TempDir dir;
  VirtualClock clock;
  std::string error;
  const std::string path = dir.path() + "/nobody.sock";
  EXPECT_FALSE(OpenDevice(SocketAt(path), clock, error));
  EXPECT_EQ(error, "no kestrelqa-usbd is listening at " + path);
}

}  // namespace
}  // namespace kqa::ioctl
