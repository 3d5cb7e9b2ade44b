// kestrelqa-usbd as a real process on the emulated chip: serving clients,
// unplug and re-plug by signal, one daemon per socket, clean and unclean ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

extern char** environ;

namespace kqa::usbd::testing {
namespace {

using ioctl::kQaInterfaceClass;
using Bytes = std::vector<std::uint8_t>;

// kestrelqa-usbd run for a test, its standard error read as it comes. Waits
// are bounded in real time: a process is involved, not the chip. Destroying
// it kills the process if it still runs.
class DaemonProcess {
 public:
  explicit DaemonProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(KQA_USBD_EXECUTABLE)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, KQA_USBD_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    stderr_ = fds[0];
  }
  ~DaemonProcess() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    if (stderr_ >= 0) ::close(stderr_);
  }
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  void signal(int number) const {
    if (pid_ > 0) ::kill(pid_, number);
  }
  const std::string& output() const { return output_; }

  // Reads until `text` has appeared since the last text found; false when
  // the process ends or the limit passes first.
  bool waitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    std::size_t at;
    while ((at = output_.find(text, found_)) == std::string::npos)
      if (!readMore(deadline)) return false;
    found_ = at + text.size();
    return true;
  }

  // Reads until the process closes its standard error, then reaps it: the
  // exit status, 128 + the signal, or -1 when it did not end within the limit.
  int waitForExit() {
    if (pid_ <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (readMore(deadline)) {
    }
    int status = 0;
    if (std::chrono::steady_clock::now() >= deadline || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  static constexpr std::chrono::milliseconds kLimit{10'000};

  bool readMore(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{stderr_, POLLIN, 0};
      const int ready = left.count() > 0 ? ::poll(&entry, 1, static_cast<int>(left.count())) : 0;
      if (ready < 0 && errno == EINTR) continue;
      char chunk[512];
      const ssize_t n = ready > 0 ? ::read(stderr_, chunk, sizeof chunk) : 0;
      if (n <= 0) return false;  // the limit passed, or the process closed its end
      output_.append(chunk, static_cast<std::size_t>(n));
      return true;
    }
  }

  pid_t pid_ = -1;
  int stderr_ = -1;
  std::string output_;
  std::size_t found_ = 0;
};

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
  EXPECT_EQ(open().error, ERROR_SHARING_VIOLATION);

  daemon.signal(SIGUSR1);
  ASSERT_TRUE(daemon.waitFor("emulated Kestrel unplugged (SIGUSR1)")) << daemon.output();
  Bytes output(4);
  EXPECT_EQ(Call(*opened.handle, ioctl::VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), output).error,
            ERROR_DEVICE_NOT_CONNECTED);
  opened.handle.reset();  // what the program does on 1167
  EXPECT_FALSE(open().handle);

  daemon.signal(SIGUSR2);
  ASSERT_TRUE(daemon.waitFor("emulated Kestrel plugged back in (SIGUSR2)")) << daemon.output();
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
