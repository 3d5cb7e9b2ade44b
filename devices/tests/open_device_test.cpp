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

// A station whose Kestrel is not found must never program the emulated chip
// and report success.
TEST_F(OpenDeviceTest, AutoNeverPicksTheEmulatedChipAndSaysHowToChooseIt) {
  for (const std::string& path : DaemonSocketPaths())
    if (std::filesystem::exists(path)) GTEST_SKIP() << "a daemon may be running at " << path;
  auto device = openDevice(Kind::Auto);
  if (device) {
    EXPECT_FALSE(device->isEmulated()) << device->description();
    GTEST_SKIP() << "a Kestrel is plugged in: " << device->description();
  }
  EXPECT_NE(error.find("no kestrelqa-usbd is listening at " + DefaultSocketPath()), std::string::npos) << error;
  EXPECT_NE(error.find("Kestrel on USB"), std::string::npos) << error;
  EXPECT_NE(error.find("--device emulated"), std::string::npos) << error;
}

TEST_F(OpenDeviceTest, TheEmulatedChipsOptionsGoOnlyWithTheEmulatedChipAndABadEnvironmentNamesItsLine) {
  DeviceChoice choice;
  choice.kind = Kind::Socket;
  EXPECT_FALSE(ApplyChipOptions({.environmentFile = "air.env"}, choice, error));
  EXPECT_EQ(error, "--environment is for the emulated chip a program starts itself: give --device "
                   "emulated or --device emulated:efuse");
  choice.kind = Kind::Auto;
  EXPECT_FALSE(ApplyChipOptions({.seed = "7"}, choice, error));
  EXPECT_NE(error.find("--seed is for the emulated chip"), std::string::npos) << error;

  testing::TempDir dir;
  choice.kind = Kind::Emulated;
  EXPECT_FALSE(ApplyChipOptions({.stateFile = dir.path()}, choice, error));
  EXPECT_EQ(error, "--state " + dir.path() + " is a folder, not a state file");
  EXPECT_FALSE(ApplyChipOptions({.environmentFile = "/dev/zero"}, choice, error));
  EXPECT_EQ(error, "--environment /dev/zero is not a regular file, not an environment file");
  EXPECT_FALSE(ApplyChipOptions({.seed = "4294967296"}, choice, error));
  EXPECT_FALSE(ApplyChipOptions({.timing = "fast"}, choice, error));
  const std::string environment = dir.path() + "/air.env";
  ASSERT_TRUE(ApplyChipOptions({.environmentFile = environment, .seed = "4294967295", .timing = "usb2"}, choice, error))
      << error;
  EXPECT_EQ(choice.seed, 4294967295u);
  EXPECT_EQ(choice.timing, ChipTiming::Usb2);

  std::ofstream(environment) << "noise default -95\nap x channel=1 level=loud\n";
  EXPECT_FALSE(OpenDevice(choice, clock, error));
  EXPECT_NE(error.find("environment line 2"), std::string::npos) << error;
  EXPECT_NE(error.find(environment), std::string::npos) << error;
}

}  // namespace
}  // namespace kqa::devices
