// kestrelqa-usbd as a real process on the emulated chip: serving clients,
// unplug and re-plug by signal, one daemon per socket, clean and unclean ends.

#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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

// One EEPROM word through the daemon (offset and count, then the data).
bool WriteEepromWord(ioctl::DeviceHandle& handle, std::uint16_t offset, std::uint16_t value) {
  const std::uint8_t input[6] = {static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8),
                                 2, 0, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  return handle.control(ioctl::VQ_OID_USB_VENDOR_EEPROM_WRITE, input, {}).succeeded();
}

std::uint16_t ReadEepromWord(ioctl::DeviceHandle& handle, std::uint16_t offset) {
  const std::uint8_t input[4] = {static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8), 2, 0};
  std::uint8_t output[2] = {};
  handle.control(ioctl::VQ_OID_USB_VENDOR_EEPROM_READ, input, output);
  return static_cast<std::uint16_t>(output[0] | output[1] << 8);
}

// A group other than our own that the daemon may give its socket to: any
// group for root, else one we belong to; empty when there is none.
std::string OtherGroup() {
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  if (::geteuid() == 0) groups.push_back(65534);
  for (gid_t gid : groups)
    if (const group* entry = ::getgrgid(gid); entry && gid != ::getegid()) return entry->gr_name;
  return "";
}

class UsbdProcess : public ::testing::Test {
 protected:
  DaemonProcess start(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--device", "emulated", "--socket", socket, "--state", stateFile};
    args.insert(args.end(), extra.begin(), extra.end());
    return DaemonProcess(KQA_USBD_EXECUTABLE, args);
  }

  TempFolder folder;
  std::string socket = folder / "run/usbd.sock";  // the daemon creates run/
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
  ASSERT_TRUE(WriteEepromWord(*reopened.handle, 0x01F0, 0xBEEF));
  reopened.handle.reset();

  daemon.signal(SIGTERM);
  EXPECT_EQ(daemon.waitForExit(), 0) << daemon.output();
  EXPECT_FALSE(std::filesystem::exists(socket)) << "a clean stop removes the socket";

  // The chip's state file kept what was written.
  DaemonProcess again = start();
  ASSERT_TRUE(again.waitForLine("serving")) << again.output();
  auto last = client.open(kQaInterfaceClass, 0);
  ASSERT_TRUE(last.handle);
  EXPECT_EQ(ReadEepromWord(*last.handle, 0x01F0), 0xBEEF);
}

TEST_F(UsbdProcess, SocketAndItsFolderBelongToTheConfiguredGroup) {
  const std::string group = OtherGroup();
  if (group.empty()) GTEST_SKIP() << "no second group to give the socket to";
  DaemonProcess daemon = start({"--group", group});
  ASSERT_TRUE(daemon.waitForLine("serving")) << daemon.output();
  const gid_t gid = ::getgrnam(group.c_str())->gr_gid;
  struct stat info {};
  ASSERT_EQ(::stat(socket.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0660u);
  EXPECT_EQ(info.st_gid, gid);
  const std::string runFolder = socket.substr(0, socket.rfind('/'));
  ASSERT_EQ(::stat(runFolder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0750u);
  EXPECT_EQ(info.st_gid, gid);

  DaemonProcess unknown = start({"--group", "no-such-group-kqa"});
  EXPECT_EQ(unknown.waitForExit(), 1);
  EXPECT_NE(unknown.output().find("unknown group no-such-group-kqa"), std::string::npos);
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
