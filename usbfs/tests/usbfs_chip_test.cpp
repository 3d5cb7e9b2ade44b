// kestrelqa-usbfs-chip as its users run it: the command-line tool and the
// daemon on --device usb beneath it, the chip pulled and re-plugged by
// signal, and its own mistakes. Processes are involved: waits are bounded in
// real time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "app/device/connection.h"
#include "app/device/register_access.h"
#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/prompt/scripted_prompt.h"
#include "platform/status/win32_error.h"
#include "usbfs/tests/air_rig.h"

extern char** environ;

namespace kqa::usbfs::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLimit = 20s;

// A program run for the test, its standard output and error read as they
// come. Destroying it kills the process if it still runs.
class Process {
 public:
  explicit Process(const std::vector<std::string>& argv) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Process() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int number) const { ::kill(pid_, number); }
  const std::string& out() const { return outText_; }
  const std::string& err() const { return errText_; }

  // Reads until standard error holds `text`; false when the process closed
  // it or the limit passed first.
  bool waitForError(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (errText_.find(text) == std::string::npos)
      if (!readMore(deadline)) return false;
    return true;
  }
  // Reads everything, then reaps the process: its exit status, 128 + its
  // signal, or -1 when it did not end within the limit.
  int wait() {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (readMore(deadline)) {
    }
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  bool readMore(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || (out_ < 0 && err_ < 0)) return false;
      pollfd entries[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
      const int ready = ::poll(entries, 2, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
      for (int i = 0; i < 2; ++i) {
        if (entries[i].revents == 0) continue;
        int& fd = i == 0 ? out_ : err_;
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) {
          ::close(fd);
          fd = -1;
        } else {
          (i == 0 ? outText_ : errText_).append(chunk, static_cast<std::size_t>(n));
        }
      }
      return true;
    }
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outText_;
  std::string errText_;
};

std::vector<std::string> UnderChip(std::vector<std::string> options, const std::vector<std::string>& command) {
  options.insert(options.begin(), KQA_USBFS_CHIP);
  options.push_back("--");
  options.insert(options.end(), command.begin(), command.end());
  return options;
}

class UsbfsChipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("kqa-usbfs-chip-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    air_ = folder_ / "air.environment";
    std::ofstream(air_) << kAir;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  fs::path air_;
};

TEST_F(UsbfsChipTest, TheCommandLineToolPassesItsSelfTestOnTheLibusbPathOnBothBoards) {
  Process eeprom(UnderChip({}, {KQA_CLI, "--device", "usb", "selftest"}));
  ASSERT_EQ(eeprom.wait(), 0) << eeprom.out() << eeprom.err();
  EXPECT_NE(eeprom.out().find("8 passed, 0 failed"), std::string::npos) << eeprom.out();
  EXPECT_NE(eeprom.err().find("Device: Kestrel on USB (1209:0001, in-process)"), std::string::npos)
      << eeprom.err();
  EXPECT_NE(eeprom.err().find("emulated Kestrel (EEPROM board) at /dev/bus/usb/001/002"), std::string::npos);

  Process efuse(UnderChip({"--board", "efuse"}, {KQA_CLI, "--device", "usb", "selftest"}));
  ASSERT_EQ(efuse.wait(), 0) << efuse.out() << efuse.err();
  EXPECT_NE(efuse.out().find("config-memory     eFuse"), std::string::npos) << efuse.out();
}

TEST_F(UsbfsChipTest, TheDaemonServesTheChipOnUsbIncludingTheAirAndFollowsUnplugAndReplug) {
  const std::string socket = (folder_ / "usbd.sock").string();
  Process chip(UnderChip({"--environment", air_.string()}, {KQA_USBD, "--device", "usb", "--socket", socket}));
  ASSERT_TRUE(chip.waitForError("kestrelqa-usbd: serving Kestrel on USB (1209:0001)")) << chip.err();

  Process cli({KQA_CLI, "--device", "socket:" + socket, "selftest"});
  ASSERT_EQ(cli.wait(), 0) << cli.out() << cli.err();
  EXPECT_NE(cli.out().find("8 passed, 0 failed"), std::string::npos) << cli.out();

  // A client of the daemon hears the air through the capture ring.
  ioctl::SocketDeviceInterfaceProvider provider(socket);
  ScriptedPrompt prompt;
  device::DeviceContext device(provider, prompt, SystemClock());
  device.trace = nullptr;
  ASSERT_TRUE(ListenOnChannel1(device));
  const Bytes ring = CaptureBeacons(device);
  EXPECT_GE(BeaconsOf(ring, kHeardSsid), 3u);
  EXPECT_EQ(BeaconsOf(ring, kUnheardSsid), 0u);

  // SIGUSR1 pulls the chip: the open connection answers 1167.
  chip.signal(SIGUSR1);
  ASSERT_TRUE(chip.waitForError("emulated Kestrel unplugged (SIGUSR1)")) << chip.err();
  EXPECT_TRUE(WaitUntil(
      [&] { return device::CallDevice(device, ioctl::VQ_OID_USB_TX_STOP, {}, {}).error == ERROR_DEVICE_NOT_CONNECTED; }));
  EXPECT_FALSE(device.hDevice.isOpen());
  // SIGUSR2 plugs it back in under the next number; the daemon opens it again.
  chip.signal(SIGUSR2);
  ASSERT_TRUE(chip.waitForError("emulated Kestrel plugged back in at /dev/bus/usb/001/003 (SIGUSR2)")) << chip.err();
  std::uint32_t identity = 0;
  EXPECT_TRUE(WaitUntil([&] { return device::RegisterAccess(device).ReadMacRegister(0x0000, identity); }));
  EXPECT_EQ(identity >> 16, 0x5EC7u);
  device::CloseDevice(device);

  // SIGTERM goes to the daemon, whose end ends the chip.
  chip.signal(SIGTERM);
  EXPECT_EQ(chip.wait(), 0) << chip.err();
  EXPECT_NE(chip.err().find("kestrelqa-usbd: stopped"), std::string::npos) << chip.err();
}

TEST_F(UsbfsChipTest, ItPassesOnTheCommandsStatusAndNamesItsOwnMistakes) {
  Process status(UnderChip({}, {"/bin/sh", "-c", "test \"$KESTRELQA_USBFS_CHIP_PID\" = \"$PPID\" && exit 7"}));
  EXPECT_EQ(status.wait(), 7) << status.err();

  Process noCommand({KQA_USBFS_CHIP});
  EXPECT_EQ(noCommand.wait(), 2);
  EXPECT_NE(noCommand.err().find("command is required"), std::string::npos) << noCommand.err();
  Process badBoard(UnderChip({"--board", "flash"}, {"/bin/true"}));
  EXPECT_EQ(badBoard.wait(), 2);
  EXPECT_NE(badBoard.err().find("--board"), std::string::npos) << badBoard.err();
  Process missingAir(UnderChip({"--environment", (folder_ / "missing").string()}, {"/bin/true"}));
  EXPECT_EQ(missingAir.wait(), 2);
  EXPECT_NE(missingAir.err().find("missing"), std::string::npos) << missingAir.err();

  std::ofstream(folder_ / "bad.environment") << "ap lab channel=1 level=loud\n";
  Process badAir(UnderChip({"--environment", (folder_ / "bad.environment").string()}, {"/bin/true"}));
  EXPECT_EQ(badAir.wait(), 125);
  EXPECT_NE(badAir.err().find("cannot start the emulated Kestrel"), std::string::npos) << badAir.err();
  Process unknown(UnderChip({}, {(folder_ / "no-such-program").string()}));
  EXPECT_EQ(unknown.wait(), 127);
  EXPECT_NE(unknown.err().find("cannot run"), std::string::npos) << unknown.err();
}

}  // namespace
}  // namespace kqa::usbfs::testing
