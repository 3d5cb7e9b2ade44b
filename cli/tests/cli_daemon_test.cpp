// kestrelqa-cli as a program, talking to kestrelqa-usbd started as a real
// process on a socket of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <chrono>
#include <cstdio>
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

  void StartDaemon(std::vector<std::string> device = {"--device", "emulated:efuse", "--state"}) {
    std::vector<std::string> argv = {KQA_USBD_PATH, "--socket", socket};
    argv.insert(argv.end(), device.begin(), device.end());
    if (argv.back() == "--state") argv.push_back(state);
    daemon = Spawn(argv, folder / "usbd.out", folder / "usbd.err");
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
    return Finish(StartCli(std::move(arguments), chooseDevice));
  }
  // A CLI run in the background, its output in files named after it.
  struct Running {
    pid_t pid;
    fs::path out, err;
  };
  Running StartCli(std::vector<std::string> arguments, bool chooseDevice = true) {
    if (chooseDevice) arguments.insert(arguments.begin(), {"--device", "socket:" + socket});
    arguments.insert(arguments.begin(), KQA_CLI_PATH);
    const std::string name = "cli" + std::to_string(runs++);
    Running run{0, folder / (name + ".out"), folder / (name + ".err")};
    run.pid = Spawn(arguments, run.out, run.err);
    return run;
  }
  Output Finish(const Running& run) {
    int status = 0;
    ::waitpid(run.pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(run.out), ReadFile(run.err)};
  }
  // Waits until `file` holds `text`; bounded, and not a wait on the chip.
  static bool WaitFor(const fs::path& file, const std::string& text) {
    for (int i = 0; i < 400; ++i) {
      if (ReadFile(file).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }
  int DaemonExit() {
    int status = 0;
    ::waitpid(daemon, &status, 0);
    daemon = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path folder;
  std::string socket;
  std::string state;
  pid_t daemon = -1;
  int runs = 0;
};

TEST_F(CliThroughDaemon, CommandsReachTheChipAndAnEfuseBurnStaysBurnt) {
  ::setenv("KESTRELQA_USBD_SOCKET", socket.c_str(), 1);  // for the CLI without --device
  StartDaemon();
  const Output selftest = Cli({"selftest"});
  EXPECT_EQ(selftest.exitCode, 0) << selftest.out << selftest.err;
  EXPECT_NE(selftest.out.find("8 passed, 0 failed"), std::string::npos) << selftest.out;
  EXPECT_NE(selftest.err.find("via kestrelqa-usbd"), std::string::npos) << selftest.err;

  EXPECT_EQ(Cli({"reg", "read", "0"}).out, "5EC70000\n");
  const std::string ioctl = Cli({"ioctl", "22349C", "--out", "4", "--json"}).out;
  EXPECT_NE(ioctl.find("\"error\":0,\"errorName\":\"ERROR_SUCCESS\",\"bytes\":4,\"output\":\"00000000\""),
            std::string::npos)
      << ioctl;
  EXPECT_NE(ioctl.find("\"device\":\"emulated Kestrel (eFuse board) via kestrelqa-usbd at " + socket +
                       "\",\"emulated\":true"),
            std::string::npos)
      << ioctl;
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

TEST_F(CliThroughDaemon, TheRegisterPagesCommandsWorkThroughTheDaemon) {
  StartDaemon();
  const std::string rf = (folder / "rf.txt").string();
  ASSERT_EQ(Cli({"rf", "write", "5", "35", "20"}).exitCode, 0);
  const Output save = Cli({"rf", "save", rf});
  ASSERT_EQ(save.exitCode, 0) << save.err;
  ASSERT_EQ(Cli({"rf", "write", "5", "35", "00"}).exitCode, 0);
  EXPECT_EQ(Cli({"rf", "load", rf}).exitCode, 0);
  EXPECT_EQ(Cli({"rf", "read", "5", "35"}).out, "20\n");
  EXPECT_EQ(Cli({"rf", "bit", "5", "35", "0", "1"}).out, "R35 21\n");

  const std::string set = (folder / "bbp.txt").string();
  ASSERT_EQ(Cli({"bbp", "write", "100", "6C"}).exitCode, 0);
  ASSERT_EQ(Cli({"bbp", "save", set}).exitCode, 0);
  ASSERT_EQ(Cli({"bbp", "write", "100", "00"}).exitCode, 0);
  EXPECT_EQ(Cli({"bbp", "load", set}).exitCode, 0);
  EXPECT_NE(Cli({"bbp", "dump"}).out.find("\nR100 6C\n"), std::string::npos);

  EXPECT_EQ(Cli({"txpower", "0", "21"}).exitCode, 0);
  EXPECT_TRUE(Cli({"txpower"}).out.starts_with("TX power 0: 21\n"));
  EXPECT_EQ(Cli({"freq-offset", "1FF"}).exitCode, 2);
  EXPECT_TRUE(Cli({"rf", "channel", "6", "--json"})
                  .out.starts_with("{\"channel\":6,\"ghz\":2.437,\"vco\":\"3249.333\",\"n\":81,"
                                   "\"k\":0,\"d\":0,\"ksd\":61164,"));
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

TEST_F(CliThroughDaemon, SniffCapturesIntoAPacFileThatDecodesAndConverts) {
  StartDaemon();
  const std::string pac = (folder / "lab.pac").string();
  const Output capture = Cli({"sniff", "--seconds", "1", "--channel", "1", "--out", pac});
  ASSERT_EQ(capture.exitCode, 0) << capture.err;
  const Output decode = Cli({"sniff", "decode", pac});
  ASSERT_EQ(decode.exitCode, 0) << decode.err;
  const auto lines = std::count(decode.out.begin(), decode.out.end(), '\n');
  EXPECT_NE(decode.out.find("\tBeacon\t"), std::string::npos) << decode.out;
  EXPECT_EQ(capture.out.substr(0, capture.out.find(" packets")),
            "Captured " + std::to_string(lines));
  const Output convert = Cli({"sniff", "convert", pac, (folder / "lab.pcap").string()});
  EXPECT_EQ(convert.exitCode, 0) << convert.err;
  EXPECT_EQ(convert.out.substr(0, convert.out.find(" packets")),
            "Converted " + std::to_string(lines));

  // Cut inside its last record: the whole rows, then the message.
  fs::resize_file(pac, fs::file_size(pac) - 1);
  const Output cut = Cli({"sniff", "decode", pac});
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_EQ(std::count(cut.out.begin(), cut.out.end(), '\n'), lines - 1);
  EXPECT_NE(cut.err.find("Packet File is cut short"), std::string::npos) << cut.err;
}

// The EEPROM page's image load through the daemon: what the forecast says
// is what the load burns, and the free count afterwards agrees.
TEST_F(CliThroughDaemon, AnEfuseImageForecastTheLoadAndTheFreeCountAgree) {
  StartDaemon();
  const std::string saved = (folder / "now.bin").string();
  ASSERT_EQ(Cli({"nvm", "save", saved}).exitCode, 0);
  std::string image = ReadFile(saved);
  ASSERT_EQ(image.size(), 1024u);
  for (std::size_t i = 0x80; i < 0x90; ++i) image[i] = static_cast<char>(i);  // logical block 8: new
  image[0x50] = static_cast<char>(image[0x50] & ~0x02);                      // block 5: clears a bit, moves
  const std::string target = (folder / "target.bin").string();
  std::ofstream(target, std::ios::binary) << image;

  const Output forecast = Cli({"efuse", "forecast", target});
  EXPECT_EQ(forecast.exitCode, 0) << forecast.err;
  EXPECT_TRUE(forecast.out.starts_with("Free block before write=21, after write=19\n")) << forecast.out;
  const Output load = Cli({"nvm", "load", target, "--yes"});
  EXPECT_EQ(load.exitCode, 0) << load.err;
  EXPECT_NE(load.err.find("Free block before write=21, after write=19, are you sure to write? [confirmed by --yes]"),
            std::string::npos)
      << load.err;
  EXPECT_EQ(Cli({"efuse", "free"}).out, "19 / 29\n");
  // Loaded again, the image costs nothing more.
  EXPECT_TRUE(Cli({"efuse", "forecast", target}).out.starts_with("Free block before write=19, after write=19\n"));
}

// The chip pulled (SIGUSR1) in the middle of a script.
TEST_F(CliThroughDaemon, AScriptStopsAtTheLineWhereTheChipWasPulled) {
  StartDaemon({"--device", "emulated"});
  std::ofstream script(folder / "long.txt");
  for (int i = 0; i < 40; ++i) script << "MAC 1 1314 " << i << "\nWAIT 50\n";
  script.close();
  const Running run = StartCli({"script", "run", (folder / "long.txt").string()});
  ASSERT_TRUE(WaitFor(run.out, "= 0x00000003")) << ReadFile(run.err);
  ::kill(daemon, SIGUSR1);
  const Output out = Finish(run);
  EXPECT_EQ(out.exitCode, 1);
  const std::size_t stop = out.out.find(": device not connected (1167)\n");
  ASSERT_NE(stop, std::string::npos) << out.out;
  const std::string line = out.out.substr(out.out.rfind("Error:\tline ", stop) + 12,
                                          stop - out.out.rfind("Error:\tline ", stop) - 12);
  EXPECT_TRUE(out.out.ends_with(": device not connected (1167)\nScript stopped at line " + line +
                                ", device not connected (1167): " + std::to_string(std::stoi(line) - 1) +
                                " commands run, 1 line failed, 0 lines skipped, 0 lines matched no keyword\n"))
      << out.out;
  EXPECT_EQ(out.out.find("0xFFFFFFFF"), std::string::npos) << "no failed read passes for a value";

  const Output pulled = Cli({"info", "--json"});
  EXPECT_EQ(pulled.exitCode, 1);
  EXPECT_NE(pulled.out.find("no Kestrel is plugged in"), std::string::npos) << pulled.out;
  ::kill(daemon, SIGUSR2);
}

// Findings 1 and 2 through the daemon: each forecast is what the write costs,
// and a write the eFuse cannot hold burns nothing.
TEST_F(CliThroughDaemon, EfuseWritesCostWhatTheQuestionSaysAndARefusedOneBurnsNothing) {
  StartDaemon({"--device", "emulated:efuse", "--state"});
  for (int i = 0; i < 10; ++i) {
    char offset[8], data[24];
    std::snprintf(offset, sizeof offset, "%X", 0x50 + 16 * i);
    std::snprintf(data, sizeof data, "%02X11223344556677", i + 1);
    const Output write = Cli({"nvm", "write", offset, data, "--yes"});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_NE(write.err.find("Free block before write=" + std::to_string(21 - i) +
                             ", after write=" + std::to_string(20 - i)),
              std::string::npos)
        << write.err;
  }
  EXPECT_EQ(Cli({"efuse", "free"}).out, "11 / 29\n");
  const std::string dump = Cli({"efuse", "dump"}).out;
  const Output refused = Cli({"nvm", "write", "100", std::string(2 * 16 * 12, '5'), "--yes"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("eFuse write refused: it needs 12 new blocks and only 11 are free"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(Cli({"efuse", "dump"}).out, dump);
  EXPECT_EQ(Cli({"efuse", "free"}).out, "11 / 29\n");
}

// Without a daemon or a chip nothing passes for a device.
TEST_F(CliThroughDaemon, WithoutADeviceNothingRunsAndTheEmulatedChipMustBeChosen) {
  for (const char* path : {"/run/kestrelqa/usbd.sock"})
    if (fs::exists(path)) GTEST_SKIP() << "a daemon may be running at " << path;
  ::setenv("KESTRELQA_USBD_SOCKET", socket.c_str(), 1);  // no daemon there
  const Output selftest = Cli({"selftest"}, false);
  ::unsetenv("KESTRELQA_USBD_SOCKET");
  if (selftest.err.find("Device: Kestrel on USB") != std::string::npos) GTEST_SKIP() << "a Kestrel is plugged in";
  EXPECT_EQ(selftest.exitCode, 1);
  EXPECT_EQ(selftest.out, "");
  EXPECT_NE(selftest.err.find("kestrelqa-cli: no device: no kestrelqa-usbd is listening at " + socket),
            std::string::npos)
      << selftest.err;
  EXPECT_NE(selftest.err.find("To work with the emulated chip, choose it: --device emulated"), std::string::npos)
      << selftest.err;

  // The other ways a device cannot be had, in JSON too.
  const Output nope = Cli({"--device", "socket:/nope.sock", "info", "--json"}, false);
  EXPECT_EQ(nope.exitCode, 1);
  EXPECT_EQ(nope.out.rfind("{\"ok\":false,\"message\":\"no device: ", 0), 0u) << nope.out;
  std::ofstream(state) << "not a state file";
  const Output corrupt = Cli({"--device", "emulated", "--state", state, "info", "--json"}, false);
  EXPECT_EQ(corrupt.exitCode, 1);
  EXPECT_NE(corrupt.out.find("cannot start the emulated Kestrel with the state file " + state), std::string::npos)
      << corrupt.out;
  const Output folderState = Cli({"--device", "emulated", "--state", folder.string(), "info", "--json"}, false);
  EXPECT_EQ(folderState.exitCode, 2);
  EXPECT_NE(folderState.out.find("is a folder, not a state file"), std::string::npos) << folderState.out;
  const Output seedWithoutChip = Cli({"--seed", "3", "info"}, false);
  EXPECT_EQ(seedWithoutChip.exitCode, 2);
  EXPECT_NE(seedWithoutChip.err.find("--seed is for the emulated chip"), std::string::npos) << seedWithoutChip.err;
}

// The emulated chip's radio environment, given to kestrelqa-cli and to the
// daemon: its access point's beacons reach the capture ring.
TEST_F(CliThroughDaemon, TheEnvironmentFileReachesTheChipInProcessAndThroughTheDaemon) {
  const std::string air = (folder / "air.env").string();
  std::ofstream(air) << "noise default -95\n"
                        "ap qa channel=6 level=-45 ssid=\"QA LAB #2\" bssid=02:00:00:00:00:06\n";
  const Output inProcess = Cli({"--device", "emulated", "--environment", air, "--seed", "5", "beacons", "6", "1000"}, false);
  EXPECT_EQ(inProcess.exitCode, 0) << inProcess.err;
  EXPECT_NE(inProcess.out.find("  02:00:00:00:00:06  \"QA LAB #2\"  "), std::string::npos) << inProcess.out;

  StartDaemon({"--device", "emulated", "--environment", air, "--timing", "usb2"});
  const Output daemonChip = Cli({"beacons", "6", "1000", "--json"});
  EXPECT_EQ(daemonChip.exitCode, 0) << daemonChip.err;
  EXPECT_NE(daemonChip.out.find("{\"bssid\":\"02:00:00:00:00:06\",\"ssid\":\"QA LAB #2\""), std::string::npos)
      << daemonChip.out;
  EXPECT_EQ(daemonChip.out.find("KESTREL-LAB"), std::string::npos) << "the built-in bench is not on the air";
  StopDaemon();

  std::ofstream(air) << "noise default -95\nap qa channel=6 level=loud\n";
  const Output bad = Cli({"--device", "emulated", "--environment", air, "info"}, false);
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("environment line 2"), std::string::npos) << bad.err;
  daemon = Spawn({KQA_USBD_PATH, "--socket", socket, "--device", "emulated", "--environment", air},
                 folder / "usbd.out", folder / "usbd.err");
  EXPECT_NE(DaemonExit(), 0);
  EXPECT_NE(ReadFile(folder / "usbd.err").find("environment line 2"), std::string::npos)
      << ReadFile(folder / "usbd.err");
}

// Findings 3, 4 and 7 through the daemon: the checks are the CLI's own,
// whichever way the chip is reached.
TEST_F(CliThroughDaemon, RangesScriptFilesAndTheImageFileAreCheckedThroughTheDaemonToo) {
  StartDaemon({"--device", "emulated"});
  const Output cut = Cli({"reg", "write", "0x11314", "11111111"});
  EXPECT_EQ(cut.exitCode, 2);
  EXPECT_NE(cut.err.find("ADDR must lie in the MAC window 0x0000-0xFFFF, not 0x11314"), std::string::npos);
  EXPECT_EQ(Cli({"reg", "read", "1314"}).out, "00000000\n");

  std::ofstream(folder / "bom.txt", std::ios::binary) << "\xEF\xBB\xBF" "MAC 1 1314 5\nRF 1 99 13 77\n";
  const Output bom = Cli({"script", "run", (folder / "bom.txt").string()});
  EXPECT_EQ(bom.exitCode, 1);
  EXPECT_EQ(bom.out, "W:\tMAC 0x1314\t= 0x00000005\n"
                     "Error:\tline 2 skipped: RF bank must be from 0 to 15, not 99\n"
                     "Script ended: 1 command run, 0 lines failed, 1 line skipped, 0 lines matched no keyword\n");
  std::ofstream(folder / "binary.txt", std::ios::binary) << std::string("\x7F" "ELF\x02\x01", 6);
  const Output binary = Cli({"script", "run", (folder / "binary.txt").string()});
  EXPECT_EQ(binary.exitCode, 1);
  EXPECT_NE(binary.err.find("is not a text file (byte 0x7F at offset 0): nothing was run"), std::string::npos)
      << binary.err;

  std::ofstream(folder / "short.bin", std::ios::binary) << std::string(10, '\x11');
  const Output image = Cli({"--nvm", "buffer", "--eeprom-file", (folder / "short.bin").string(), "nvm", "write",
                            "0", "AA"});
  EXPECT_EQ(image.exitCode, 1);
  EXPECT_NE(image.err.find("holds 10 bytes; an image holds 512 to 1024 bytes"), std::string::npos) << image.err;
  EXPECT_EQ(fs::file_size(folder / "short.bin"), 10u);
}

TEST_F(CliThroughDaemon, MeasurementsThroughTheDaemonAndCtrlCEndingAnEndlessSpectrum) {
  StartDaemon();
  const Output scan = Cli({"noise", "scan"});
  EXPECT_EQ(scan.exitCode, 0) << scan.err;
  EXPECT_EQ(std::count(scan.out.begin(), scan.out.end(), '\n'), 14) << scan.out;
  const std::size_t six = scan.out.find("ch   6  RSSI 0: ");
  ASSERT_NE(six, std::string::npos) << scan.out;
  EXPECT_NEAR(std::stoi(scan.out.substr(six + 16)), -92, 1) << scan.out;  // the bench's channel 6
  const std::string r66 = Cli({"bbp", "read", "66"}).out;

  // An endless spectrum on a channel of its own: a few lines in, Ctrl+C.
  const pid_t pid = Spawn({KQA_CLI_PATH, "--device", "socket:" + socket, "spectrum", "--captures", "0", "--channel", "1"},
                          folder / "spectrum.out", folder / "spectrum.err");
  const auto lineCount = [&] {
    const std::string text = ReadFile(folder / "spectrum.out");
    return std::count(text.begin(), text.end(), '\n');
  };
  for (int i = 0; i < 400 && lineCount() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(folder / "spectrum.err");
  const std::string lines = ReadFile(folder / "spectrum.out");
  EXPECT_TRUE(lines.starts_with("noise ")) << lines;
  EXPECT_TRUE(lines.ends_with(" dB\n")) << lines;
  // The run gave the gain and the capture memory back before it ended.
  EXPECT_EQ(Cli({"bbp", "read", "66"}).out, r66);
  EXPECT_EQ(Cli({"reg", "read", "404"}).out, "00F40016\n");
}

// The TX/RX commands, each its own process: what one starts, the next sees.
TEST_F(CliThroughDaemon, TransmitAndReceiveRunsSpanCommands) {
  const std::string quiet = (folder / "quiet.env").string();  // no other stations on the air
  std::ofstream(quiet) << "noise default -95\n";
  StartDaemon({"--device", "emulated:efuse", "--environment", quiet});
  const Output run = Cli({"tx", "start", "--count", "100", "--set", "totalBytes=200"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("sent 100\nAC0   100\n")) << run.out;
  EXPECT_TRUE(Cli({"tx", "status"}).out.starts_with("sent 100\n"));

  ASSERT_EQ(Cli({"rx", "start", "--loopback"}).exitCode, 0);
  EXPECT_EQ(Cli({"tx", "start", "--count", "20"}).exitCode, 0);
  const Output stats = Cli({"rx", "stats", "--json"});
  EXPECT_EQ(stats.exitCode, 0) << stats.err;
  EXPECT_NE(stats.out.find("\"received\":20,"), std::string::npos) << stats.out;
  EXPECT_NE(Cli({"rx", "stop", "--json"}).out.find("{\"wasRunning\":true,"), std::string::npos);

  // An endless run goes on after its command until "tx stop".
  ASSERT_EQ(Cli({"tx", "start", "--endless"}).exitCode, 0);
  EXPECT_NE(Cli({"tx", "status", "--json"}).out.find("\"running\":true"), std::string::npos);
  const Output again = Cli({"tx", "start", "--carrier"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("a transmission runs already"), std::string::npos) << again.err;
  EXPECT_EQ(Cli({"tx", "stop"}).out, "stopped\n");
  EXPECT_NE(Cli({"tx", "status", "--json"}).out.find("\"running\":false"), std::string::npos);

  EXPECT_EQ(Cli({"channel", "6"}).exitCode, 0);
  EXPECT_EQ(Cli({"bw", "40"}).out, "bandwidth 40 MHz\n");
  EXPECT_EQ(Cli({"mode", "cck", "3"}).exitCode, 0);
  EXPECT_EQ(Cli({"mode", "cck", "9"}).exitCode, 2);
  EXPECT_NE(Cli({"usb", "descriptor"}).out.find("Vendor ID              1209"), std::string::npos);
  EXPECT_EQ(Cli({"tx", "record", "--set", "fc=XY"}).exitCode, 2);
}

}  // namespace
