// kestrelqa-cli as a program, talking to kestrelqa-usbd started as a real
// process on a socket of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct Output {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Starts `argv` with its standard output and error going to files.
pid_t Spawn(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int nullFd = ::open("/dev/null", O_RDONLY);
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    ::dup2(nullFd, STDIN_FILENO);  // no terminal: questions are refused
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

class CliThroughDaemon : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("kqa-cli-daemon-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    socket = (folder / "usbd.sock").string();
    state = (folder / "chip.state").string();
  }
  void TearDown() override {
    StopDaemon();
    fs::remove_all(folder);
  }

  void StartDaemon() {
    daemon = Spawn({KQA_USBD_PATH, "--device", "emulated:efuse", "--socket", socket, "--state", state},
                   folder / "usbd.out", folder / "usbd.err");
    // Waits for the process to come up; bounded, and not a wait on the chip.
    for (int i = 0; i < 200 && !fs::exists(socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_TRUE(fs::exists(socket)) << ReadFile(folder / "usbd.err");
  }
  void StopDaemon() {
    if (daemon <= 0) return;
    ::kill(daemon, SIGTERM);
    int status = 0;
    ::waitpid(daemon, &status, 0);
    daemon = -1;
  }
  Output Cli(std::vector<std::string> arguments, bool chooseDevice = true) {
    if (chooseDevice) arguments.insert(arguments.begin(), {"--device", "socket:" + socket});
    arguments.insert(arguments.begin(), KQA_CLI_PATH);
    const pid_t pid = Spawn(arguments, folder / "cli.out", folder / "cli.err");
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder / "cli.out"),
            ReadFile(folder / "cli.err")};
  }

  fs::path folder;
  std::string socket;
  std::string state;
  pid_t daemon = -1;
};

TEST_F(CliThroughDaemon, CommandsReachTheChipAndAnEfuseBurnStaysBurnt) {
  ::setenv("KESTRELQA_USBD_SOCKET", socket.c_str(), 1);  // for the CLI without --device
  StartDaemon();
  const Output selftest = Cli({"selftest"});
  EXPECT_EQ(selftest.exitCode, 0) << selftest.out << selftest.err;
  EXPECT_NE(selftest.out.find("8 passed, 0 failed"), std::string::npos) << selftest.out;
  EXPECT_NE(selftest.err.find("via kestrelqa-usbd"), std::string::npos) << selftest.err;

  EXPECT_EQ(Cli({"reg", "read", "0"}).out, "5EC70000\n");
  EXPECT_EQ(Cli({"ioctl", "22349C", "--out", "4", "--json"}).out,
            "{\"error\":0,\"bytes\":4,\"output\":\"00000000\"}\n");
  const Output refused = Cli({"nvm", "write", "1F0", "A5A5"});
  EXPECT_EQ(refused.exitCode, 1);  // no terminal, no --yes
  EXPECT_NE(refused.err.find("pass --yes"), std::string::npos);
  ASSERT_EQ(Cli({"nvm", "write", "1F0", "A5A5", "--yes"}).exitCode, 0);

  // The daemon keeps the eFuse in its state file across a restart.
  StopDaemon();
  StartDaemon();
  EXPECT_EQ(Cli({"nvm", "read", "1F0", "2"}).out, "1F0: A5 A5\n");

  // Without --device the CLI uses the running daemon.
  const Output info = Cli({"info"}, false);
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.err.find("via kestrelqa-usbd at " + socket), std::string::npos) << info.err;
  ::unsetenv("KESTRELQA_USBD_SOCKET");
}

TEST_F(CliThroughDaemon, DaemonStatusNamesTheDeviceAndEveryConnectedProcess) {
  StartDaemon();
  // Another client: this test process, connected without opening anything.
  const int other = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::connect(other, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

  const Output text = Cli({"daemon", "status"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_TRUE(text.out.starts_with("Daemon:  kestrelqa-usbd at " + socket + ", up ")) << text.out;
  EXPECT_NE(text.out.find("\nDevice:  emulated Kestrel (eFuse board): open (\\\\?\\kestrelqa#"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("\nClients: 2\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  pid " + std::to_string(::getpid()) + "  cli_daemon_test, connected "),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("  kestrelqa-cli, connected "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(" (this command)\n      " KQA_CLI_PATH " --device socket:" + socket + " daemon status\n"),
            std::string::npos)
      << text.out;
  const Output json = Cli({"daemon", "status", "--json"});
  EXPECT_NE(json.out.find("\"program\":\"kestrelqa-cli\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"self\":true"), std::string::npos) << json.out;
  ::close(other);
  // Through the daemon, what a command starts outlives it: no note.
  const Output start = Cli({"ioctl", "223668"});
  EXPECT_EQ(start.exitCode, 0) << start.err;
  EXPECT_EQ(start.err.find("note:"), std::string::npos) << start.err;

  // It asks a daemon only, and says when none answers.
  EXPECT_EQ(Cli({"--device", "emulated", "daemon", "status"}, false).exitCode, 2);
  const Output none = Cli({"--device", "socket:" + (folder / "nope.sock").string(), "daemon", "status", "--json"}, false);
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.out, "{\"ok\":false,\"message\":\"no kestrelqa-usbd is listening at " + (folder / "nope.sock").string() +
                          "\"}\n");
}

}  // namespace
