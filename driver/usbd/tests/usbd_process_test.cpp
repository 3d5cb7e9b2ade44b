// kestrelqa-usbd as a real process on the emulated chip: serving clients on
// the one handle it holds, unplug and re-plug by signal, one daemon per
// socket, a removed socket, clean and unclean ends.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "driver/usbd/tests/daemon_process.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::usbd::testing {
namespace {

using ioctl::kQaInterfaceClass;
using Bytes = std::vector<std::uint8_t>;

// A call through the daemon; the output holds the bytes it returned.
ioctl::ControlResult Call(ioctl::DeviceHandle& handle, std::uint32_t code, const Bytes& input, Bytes& output) {
  const auto result = handle.control(code, input, output);
  output.resize(result.bytesReturned);
  return result;
}

// The chip's identity, 0x5EC7rrrr, in MAC register 0x0000.
bool ReadsIdentity(ioctl::DeviceHandle& handle) {
  Bytes output(4);
  return Call(handle, ioctl::VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), output).succeeded() && output[3] == 0x5E &&
         output[2] == 0xC7;
}

// A group other than our own that the daemon may give its socket to: any
// group for root, else one we belong to; empty when there is none.
std::string OtherGroup() {
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(
      static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  if (::geteuid() == 0) groups.push_back(65534);
  for (gid_t gid : groups)
    if (const group* entry = ::getgrgid(gid); entry && gid != ::getegid()) return entry->gr_name;
  return "";
}

mode_t ModeOf(const std::string& path, gid_t* group = nullptr) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  if (group) *group = info.st_gid;
  return info.st_mode & 0777;
}

class UsbdProcess : public ::testing::Test {
 protected:
  DaemonProcess start(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--device", "emulated", "--socket", socket, "--state", stateFile};
    args.insert(args.end(), extra.begin(), extra.end());
    return DaemonProcess(args);
  }
  ioctl::DeviceInterfaceProvider::OpenResult open() { return client.open(kQaInterfaceClass, 0); }

  ioctl::testing::TempDir folder;
  std::string socket = folder.path() + "/run/usbd.sock";  // the daemon creates run/
  std::string stateFile = folder.path() + "/chip.kqastate";
  ioctl::SocketDeviceInterfaceProvider client{socket};
};

TEST_F(UsbdProcess, ServesTheEmulatedChipFollowsUnplugAndReplugKeepsItsStateAndItsSocket) {
  DaemonProcess daemon = start();
  ASSERT_TRUE(daemon.waitFor("serving emulated Kestrel (EEPROM board) on " + socket)) << daemon.output();
  EXPECT_EQ(ModeOf(socket), 0660u);
  auto opened = open();
  ASSERT_TRUE(opened.handle);
  EXPECT_TRUE(ReadsIdentity(*opened.handle));
  auto sharing = open();  // a second client shares the daemon's handle
  ASSERT_TRUE(sharing.handle) << sharing.error;
  EXPECT_TRUE(ReadsIdentity(*sharing.handle));

  daemon.signal(SIGUSR1);
  ASSERT_TRUE(daemon.waitFor("emulated Kestrel unplugged (SIGUSR1)")) << daemon.output();
  ASSERT_TRUE(daemon.waitFor("the device is gone (error 1167)")) << daemon.output();
  Bytes output(4);
  EXPECT_EQ(Call(*opened.handle, ioctl::VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), output).error,
            ERROR_DEVICE_NOT_CONNECTED);
  opened.handle.reset();  // what the program does on 1167
  const auto whileUnplugged = open();
  EXPECT_FALSE(whileUnplugged.handle);
  EXPECT_EQ(whileUnplugged.error, ERROR_FILE_NOT_FOUND);

  daemon.signal(SIGUSR2);
  ASSERT_TRUE(daemon.waitFor("emulated Kestrel plugged back in (SIGUSR2)")) << daemon.output();
  // The daemon opens the chip again by itself, before any client asks.
  ASSERT_TRUE(daemon.waitFor("opened the device")) << daemon.output();
  EXPECT_EQ(Call(*sharing.handle, ioctl::VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), output).error,
            ERROR_DEVICE_NOT_CONNECTED)
      << "a client that held a handle across the unplug must see it";
  sharing.handle.reset();
  auto reopened = open();
  ASSERT_TRUE(reopened.handle) << "open after re-plug failed with " << reopened.error;
  EXPECT_TRUE(ReadsIdentity(*reopened.handle));
  Bytes none;
  EXPECT_TRUE(
      Call(*reopened.handle, ioctl::VQ_OID_USB_VENDOR_EEPROM_WRITE, {0xF0, 0x01, 2, 0, 0xEF, 0xBE}, none)
          .succeeded());
  reopened.handle.reset();

  daemon.signal(SIGTERM);
  EXPECT_EQ(daemon.waitForExit(), 0) << daemon.output();
  EXPECT_FALSE(std::filesystem::exists(socket)) << "a clean stop removes the socket";

  // The chip's state file kept what was written.
  DaemonProcess again = start();
  ASSERT_TRUE(again.waitFor("serving")) << again.output();
  auto last = open();
  ASSERT_TRUE(last.handle);
  Bytes word(2);
  Call(*last.handle, ioctl::VQ_OID_USB_VENDOR_EEPROM_READ, {0xF0, 0x01, 2, 0}, word);
  EXPECT_EQ(word, (Bytes{0xEF, 0xBE}));
  last.handle.reset();

  // One daemon per socket; one that dies without cleaning up leaves a stale socket, which is replaced.
  DaemonProcess second = start();
  EXPECT_EQ(second.waitForExit(), 1);
  EXPECT_NE(second.output().find("another kestrelqa-usbd is already serving " + socket), std::string::npos)
      << second.output();
  EXPECT_TRUE(open().handle) << "the refused daemon disturbed the first one";
  again.signal(SIGKILL);
  EXPECT_EQ(again.waitForExit(), 128 + SIGKILL);
  ASSERT_TRUE(std::filesystem::exists(socket));
  DaemonProcess third = start();
  ASSERT_TRUE(third.waitFor("serving")) << third.output();
  EXPECT_TRUE(open().handle);
}

// MAC register write through the daemon.
bool WriteMac(ioctl::DeviceHandle& handle, std::uint16_t address, std::uint32_t value) {
  Bytes input(20);
  PutLe32(input, 0, address);
  PutLe32(input, 4, value);
  Bytes none;
  return Call(handle, ioctl::VQ_OID_USB_VENDOR_MAC_WRITE, input, none).succeeded();
}

// Whether a capture-ring record holds a beacon of the bench's access point
// "lab" (BSSID 02:4B:51:A0:00:01, SSID "KESTREL-LAB"): the frame starts at
// byte 32 of the record, after the receive record's 32 bytes of header.
bool IsLabBeacon(std::span<const std::uint8_t> record) {
  static constexpr std::uint8_t kBssid[] = {0x02, 0x4B, 0x51, 0xA0, 0x00, 0x01};
  static constexpr std::string_view kSsid = "KESTREL-LAB";
  const auto frame = record.subspan(32);
  return frame[0] == 0x80 && frame[1] == 0x00 &&                           // beacon
         std::equal(frame.begin() + 4, frame.begin() + 10, Bytes(6, 0xFF).begin()) &&  // to all
         std::equal(kBssid, kBssid + 6, frame.begin() + 16) &&                   // BSSID
         frame[36] == 0 && frame[37] == kSsid.size() &&                           // SSID element
         std::equal(kSsid.begin(), kSsid.end(), frame.begin() + 38);
}

TEST_F(UsbdProcess, CaptureStartedByOneClientIsReadByTheNextAfterTheFirstIsGone) {
  DaemonProcess daemon = start();
  ASSERT_TRUE(daemon.waitFor("serving")) << daemon.output();
  {
    auto first = open();
    ASSERT_TRUE(first.handle);
    // Channel 1, where "lab" sends its beacons: the synthesiser's N = 0x50
    // (RF bank 0 R20) and K = 0x19999 (R19, R18, R17), written through the
    // RF command port MAC 0x0500 (bit 31 start, bit 30 write, register in
    // bits 8-13); then the receiver on (MAC 0x1004 bit 3) and the capture.
    for (const auto& [reg, value] : {std::pair{17u, 0x99u}, {18u, 0x99u}, {19u, 0x01u}, {20u, 0x50u}})
      ASSERT_TRUE(WriteMac(*first.handle, 0x0500, 0xC0000000u | reg << 8 | value));
    ASSERT_TRUE(WriteMac(*first.handle, 0x1004, 0x8));
    Bytes none;
    ASSERT_TRUE(Call(*first.handle, ioctl::VQ_OID_USB_CAPTURE_START, {}, none).succeeded());
  }  // the first client disconnects; the capture goes on

  auto second = open();
  ASSERT_TRUE(second.handle);
  // The air runs on the daemon's real clock: beacons come every 102.4 ms, so
  // the ring fills within a second; the limit only bounds a failure.
  constexpr std::size_t kRecord = 5120;
  std::size_t records = 0;
  int beacons = 0;
  const auto deadline = std::chrono::steady_clock::now() + DaemonProcess::kLimit;
  while (beacons < 3 && std::chrono::steady_clock::now() < deadline) {
    Bytes read(1000 * kRecord);
    const auto result = Call(*second.handle, ioctl::VQ_OID_USB_CAPTURE_READ, {}, read);
    ASSERT_TRUE(result.succeeded()) << result.error;
    ASSERT_EQ(read.size() % kRecord, 0u) << "a read returns whole records";
    records += read.size() / kRecord;
    for (std::size_t at = 0; at < read.size(); at += kRecord)
      beacons += IsLabBeacon(std::span<const std::uint8_t>(read).subspan(at, kRecord));
    if (beacons < 3) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_GE(beacons, 3) << "of " << records << " records";
}

TEST_F(UsbdProcess, ARemovedSocketIsCreatedAgainAndAPathTakenByAnotherFileStopsTheDaemon) {
  DaemonProcess daemon = start();
  ASSERT_TRUE(daemon.waitFor("serving")) << daemon.output();
  auto connected = open();
  ASSERT_TRUE(connected.handle);

  std::filesystem::remove(socket);
  ASSERT_TRUE(daemon.waitFor("the socket " + socket + " was removed; created it again")) << daemon.output();
  EXPECT_EQ(ModeOf(socket), 0660u);
  EXPECT_TRUE(ReadsIdentity(*connected.handle)) << "a connected client was disturbed";
  auto newcomer = open();
  ASSERT_TRUE(newcomer.handle) << newcomer.error;
  EXPECT_TRUE(ReadsIdentity(*newcomer.handle));

  // Both files gone (the folder is cleaned): both come back, and the path is
  // still this daemon's alone.
  std::filesystem::remove(socket + ".lock");
  std::filesystem::remove(socket);
  ASSERT_TRUE(daemon.waitFor("the lock file " + socket + ".lock was removed; created it again")) << daemon.output();
  ASSERT_TRUE(daemon.waitFor("the socket " + socket + " was removed; created it again")) << daemon.output();
  DaemonProcess second = start();
  EXPECT_EQ(second.waitForExit(), 1);
  EXPECT_NE(second.output().find("another kestrelqa-usbd is already serving " + socket), std::string::npos)
      << second.output();
  EXPECT_TRUE(ReadsIdentity(*connected.handle)) << "the refused daemon disturbed the first one";

  // A file in the socket's place is someone else's: it stays, the daemon goes.
  std::filesystem::remove(socket);
  std::ofstream(socket) << "precious";
  EXPECT_EQ(daemon.waitForExit(), 1);
  EXPECT_NE(daemon.output().find(socket + " was replaced by another file; stopping, so that a new "
                                          "kestrelqa-usbd can claim the path"),
            std::string::npos)
      << daemon.output();
  std::string content;
  std::ifstream(socket) >> content;
  EXPECT_EQ(content, "precious");
  connected.handle.reset();
  newcomer.handle.reset();
  std::filesystem::remove(socket);
  DaemonProcess third = start();
  ASSERT_TRUE(third.waitFor("serving")) << third.output();
  EXPECT_TRUE(open().handle);
}

TEST_F(UsbdProcess, SocketAndItsFolderBelongToTheConfiguredGroup) {
  const std::string group = OtherGroup();
  if (group.empty()) GTEST_SKIP() << "no second group to give the socket to";
  DaemonProcess daemon = start({"--group", group});
  ASSERT_TRUE(daemon.waitFor("serving")) << daemon.output();
  const gid_t gid = ::getgrnam(group.c_str())->gr_gid;
  gid_t owner = 0;
  EXPECT_EQ(ModeOf(socket, &owner), 0660u);
  EXPECT_EQ(owner, gid);
  EXPECT_EQ(ModeOf(folder.path() + "/run", &owner), 0750u);
  EXPECT_EQ(owner, gid);

  DaemonProcess unknown = start({"--group", "no-such-group-kqa"});
  EXPECT_EQ(unknown.waitForExit(), 1);
  EXPECT_NE(unknown.output().find("unknown group no-such-group-kqa"), std::string::npos);
}

}  // namespace
}  // namespace kqa::usbd::testing
