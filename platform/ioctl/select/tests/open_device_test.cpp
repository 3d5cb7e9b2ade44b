#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/select/device_select.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::ioctl {
namespace {

DeviceSpec Spec(DeviceSpec::Kind kind, const std::string& stateFile = "") {
  DeviceSpec spec;
  spec.kind = kind;
  spec.stateFile = stateFile;
  return spec;
}

// MAC register 0x0000: the emulated chip answers 0x5EC7rrrr.
ControlResult ReadIdentity(DeviceHandle& handle, std::uint32_t& value) {
  std::uint8_t input[20] = {};
  std::uint8_t output[4] = {};
  const ControlResult result = handle.control(VQ_OID_USB_VENDOR_MAC_READ, input, output);
  value = output[0] | output[1] << 8 | output[2] << 16 | static_cast<std::uint32_t>(output[3]) << 24;
  return result;
}

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

TEST(OpenDevice, EmulatedChipInProcessUnplugsAndReplugsAtOnce) {
  VirtualClock clock;
  std::string error;
  auto device = OpenDevice(Spec(DeviceSpec::Kind::Emulated), clock, error);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(device->description(), "emulated Kestrel (EEPROM board, in-process)");
  EXPECT_EQ(device->deviceName(), "emulated Kestrel (EEPROM board)");
  EXPECT_TRUE(device->isEmulated());

  auto opened = device->provider().open(kQaInterfaceClass, 0);
  ASSERT_TRUE(opened.handle);
  std::uint32_t identity = 0;
  ASSERT_TRUE(ReadIdentity(*opened.handle, identity).succeeded());
  EXPECT_EQ(identity >> 16, 0x5EC7u);

  // unplug() returns once the driver has seen it: the very next call fails.
  ASSERT_TRUE(device->unplug());
  EXPECT_EQ(ReadIdentity(*opened.handle, identity).error, ERROR_DEVICE_NOT_CONNECTED);
  opened.handle.reset();
  EXPECT_EQ(device->provider().open(kQaInterfaceClass, 0).failure,
            DeviceInterfaceProvider::OpenFailure::NoInstance);

  ASSERT_TRUE(device->replug());
  auto reopened = device->provider().open(kQaInterfaceClass, 0);
  ASSERT_TRUE(reopened.handle);
  EXPECT_TRUE(ReadIdentity(*reopened.handle, identity).succeeded());
}

TEST(OpenDevice, EfuseBoardKeepsItsStateFile) {
  testing::TempDir dir;
  const std::string stateFile = dir.path() + "/chip.kqastate";
  VirtualClock clock;
  std::string error;
  {
    auto device = OpenDevice(Spec(DeviceSpec::Kind::EmulatedEfuse, stateFile), clock, error);
    ASSERT_TRUE(device) << error;
    EXPECT_EQ(device->description(), "emulated Kestrel (eFuse board, in-process)");
  }
  EXPECT_TRUE(std::filesystem::exists(stateFile));
  // The file belongs to the eFuse board; the EEPROM board refuses it.
  EXPECT_FALSE(OpenDevice(Spec(DeviceSpec::Kind::Emulated, stateFile), clock, error));
  EXPECT_NE(error.find("cannot start the emulated Kestrel with the state file " + stateFile),
            std::string::npos)
      << error;
}

TEST(OpenDevice, UnreadableStateFileIsRefusedWithAReason) {
  testing::TempDir dir;
  const std::string stateFile = dir.path() + "/garbage.kqastate";
  std::ofstream(stateFile) << "not a state file";
  VirtualClock clock;
  std::string error;
  EXPECT_FALSE(OpenDevice(Spec(DeviceSpec::Kind::Emulated, stateFile), clock, error));
  EXPECT_NE(error.find(stateFile), std::string::npos) << error;
}

TEST(OpenDevice, AutoFallsBackToTheEmulatedChipAndSaysWhy) {
  for (const std::string& path : DaemonSocketPaths())
    if (std::filesystem::exists(path)) GTEST_SKIP() << "a daemon may be running at " << path;
  VirtualClock clock;
  std::string error;
  auto device = OpenDevice(Spec(DeviceSpec::Kind::Auto), clock, error);
  ASSERT_TRUE(device) << error;
  if (!device->isEmulated()) GTEST_SKIP() << "a Kestrel is plugged in: " << device->description();
  EXPECT_EQ(device->description(), "emulated Kestrel (EEPROM board, in-process)");
  EXPECT_NE(error.find("no kestrelqa-usbd is listening at " + DefaultSocketPath()), std::string::npos)
      << error;
  EXPECT_NE(error.find("Kestrel on USB"), std::string::npos) << error;
}

}  // namespace
}  // namespace kqa::ioctl
