#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "devices/device_select.h"
#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::devices {
namespace {

using namespace ioctl;

using Kind = DeviceChoice::Kind;

class OpenDeviceTest : public ::testing::Test {
 protected:
  std::unique_ptr<OpenedDevice> openDevice(Kind kind, const std::string& stateFile = "",
                                             const std::string& socketPath = "") {
    DeviceChoice choice;
    choice.kind = kind;
    choice.stateFile = stateFile;
    choice.socketPath = socketPath;
    return OpenDevice(choice, clock, error);
  }

  VirtualClock clock;
  std::string error;
};

TEST_F(OpenDeviceTest, SocketDeviceDescribesWhatTheDaemonServes) {
  testing::ServedFake served;
  auto device = openDevice(Kind::Socket, "", served.path);
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

// Its unplug and replug are what kestrelqa-usbd's signals do: usbd_process_test.
TEST_F(OpenDeviceTest, TheEmulatedChipRunsInProcessOnAStateFileOfItsBoard) {
  auto device = openDevice(Kind::Emulated);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(device->description(), "emulated Kestrel (EEPROM board, in-process)");
  EXPECT_EQ(device->deviceName(), "emulated Kestrel (EEPROM board)");
  EXPECT_TRUE(device->isEmulated());
  auto opened = device->provider().open(kQaInterfaceClass, 0);
  ASSERT_TRUE(opened.handle);
  std::uint8_t input[20] = {};
  std::uint8_t output[4] = {};
  EXPECT_TRUE(opened.handle->control(VQ_OID_USB_VENDOR_MAC_READ, input, output).succeeded());
  EXPECT_EQ(output[3], 0x5E);  // the identity, 0x5EC7rrrr

  // A state file belongs to its board; garbage is refused.
  testing::TempDir dir;
  const std::string stateFile = dir.path() + "/chip.kqastate";
  opened.handle.reset();
  device = openDevice(Kind::EmulatedEfuse, stateFile);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(device->description(), "emulated Kestrel (eFuse board, in-process)");
  device.reset();
  EXPECT_TRUE(std::filesystem::exists(stateFile));
  EXPECT_FALSE(openDevice(Kind::Emulated, stateFile));
  EXPECT_NE(error.find("cannot start the emulated Kestrel with the state file " + stateFile), std::string::npos)
      << error;

  std::ofstream(stateFile) << "not a state file";
  EXPECT_FALSE(openDevice(Kind::Emulated, stateFile));
  EXPECT_NE(error.find(stateFile), std::string::npos) << error;
}

TEST_F(OpenDeviceTest, AutoFallsBackToTheEmulatedChipAndSaysWhy) {
  for (const std::string& path : DaemonSocketPaths())
    if (std::filesystem::exists(path)) GTEST_SKIP() << "a daemon may be running at " << path;
  auto device = openDevice(Kind::Auto);
  ASSERT_TRUE(device) << error;
  if (!device->isEmulated()) GTEST_SKIP() << "a Kestrel is plugged in: " << device->description();
  EXPECT_EQ(device->description(), "emulated Kestrel (EEPROM board, in-process)");
  EXPECT_NE(error.find("no kestrelqa-usbd is listening at " + DefaultSocketPath()), std::string::npos) << error;
  EXPECT_NE(error.find("Kestrel on USB"), std::string::npos) << error;
}

}  // namespace
}  // namespace kqa::devices
