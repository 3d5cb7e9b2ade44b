// kestrelqa-usbd as a real process on the emulated chip: serving clients,
// unplug and re-plug by signal, one daemon per socket, clean and unclean ends.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "driver/usbd/tests/daemon_process.h"
#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/socket_client.h"

namespace kqa::usbd::testing {
namespace {

using ioctl::kQaInterfaceClass;
using ioctl::SocketDeviceInterfaceProvider;
using OpenFailure = ioctl::DeviceInterfaceProvider::OpenFailure;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kqa-usbd-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// MAC register 0x0000: the chip's identity, 0x5EC7rrrr.
ioctl::ControlResult ReadIdentity(ioctl::DeviceHandle& handle, std::uint32_t& value) {
  std::uint8_t input[20] = {};
  std::uint8_t output[4] = {};
  const auto result = handle.control(ioctl::VQ_OID_USB_VENDOR_MAC_READ, input, output);
  value = output[0] | output[1] << 8 | output[2] << 16 | static_cast<std::uint32_t>(output[3]) << 24;
  return result;
}

class UsbdProcess : public ::testing::Test {
 protected:
  DaemonProcess start() {
    return DaemonProcess(KQA_USBD_EXECUTABLE, {"--device", "emulated", "--socket", socket,
                                               "--state", stateFile});
  }

  TempFolder folder;
  std::string socket = folder / "usbd.sock";
  std::string stateFile = folder / "chip.kqastate";
  SocketDeviceInterfaceProvider client{socket};
};

TEST_F(UsbdProcess, ServesTheEmulatedChipAndFollowsUnplugAndReplug) {
  DaemonProcess daemon = start();
  ASSERT_TRUE(daemon.waitForLine("serving emulated Kestrel (EEPROM board) on " + socket))
      << daemon.output();
  struct stat info {};
  ASSERT_EQ(::stat(socket.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0660u);

  auto opened = client.open(kQaInterfaceClass, 0);
  ASSERT_TRUE(opened.handle);
  std::uint32_t identity = 0;
  ASSERT_TRUE(ReadIdentity(*opened.handle, identity).succeeded());
  EXPECT_EQ(identity >> 16, 0x5EC7u);
  EXPECT_EQ(client.open(kQaInterfaceClass, 0).error, ERROR_SHARING_VIOLATION);

  daemon.signal(SIGUSR1);
  ASSERT_TRUE(daemon.waitForLine("emulated Kestrel unplugged (SIGUSR1)")) << daemon.output();
  const auto gone = ReadIdentity(*opened.handle, identity);
  EXPECT_EQ(gone.error, ERROR_DEVICE_NOT_CONNECTED);
  opened.handle.reset();  // what the program does on 1167
  EXPECT_FALSE(client.open(kQaInterfaceClass, 0).handle);

  daemon.signal(SIGUSR2);
  ASSERT_TRUE(daemon.waitForLine("emulated Kestrel plugged back in (SIGUSR2)")) << daemon.output();
  auto reopened = client.open(kQaInterfaceClass, 0);
  ASSERT_TRUE(reopened.handle) << "open after re-plug failed with " << reopened.error;
  EXPECT_TRUE(ReadIdentity(*reopened.handle, identity).succeeded());
  reopened.handle.reset();

  daemon.signal(SIGTERM);
  EXPECT_EQ(daemon.waitForExit(), 0) << daemon.output();
  EXPECT_FALSE(std::filesystem::exists(socket)) << "a clean stop removes the socket";
  EXPECT_TRUE(std::filesystem::exists(stateFile)) << "the chip saved its state";
}

TEST_F(UsbdProcess, OneDaemonPerSocketAndAStaleSocketIsReplaced) {
  DaemonProcess first = start();
  ASSERT_TRUE(first.waitForLine("serving")) << first.output();

  DaemonProcess second = start();
  EXPECT_EQ(second.waitForExit(), 1);
  EXPECT_NE(second.output().find("another kestrelqa-usbd is already serving " + socket),
            std::string::npos)
      << second.output();
  auto opened = client.open(kQaInterfaceClass, 0);
  EXPECT_TRUE(opened.handle) << "the refused daemon disturbed the first one";
  opened.handle.reset();

  // A daemon that dies without cleaning up leaves its socket behind.
  first.signal(SIGKILL);
  EXPECT_EQ(first.waitForExit(), 128 + SIGKILL);
  ASSERT_TRUE(std::filesystem::exists(socket));
  DaemonProcess third = start();
  ASSERT_TRUE(third.waitForLine("serving")) << third.output();
  EXPECT_TRUE(client.open(kQaInterfaceClass, 0).handle);
}

}  // namespace
}  // namespace kqa::usbd::testing
