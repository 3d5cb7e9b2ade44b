// kestrelqa-usbfs-chip: runs a command with the emulated Kestrel on emulated
// usbdevfs, so that libusb, unmodified, drives it (usbfs/README.md).
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "chip/kestrel.h"
#include "platform/clock/clock.h"
#include "platform/usb/usbfs/preload_environment.h"
#include "platform/usb/usbfs/umockdev_usb_bus.h"
#include "usbfs/usbfs_chip_options.h"

namespace {

using namespace kqa;

constexpr int kExitUsage = 2;
constexpr int kExitChipFailed = 125;
constexpr int kExitCannotRun = 127;

void Log(const std::string& line) {
  std::fprintf(stderr, "kestrelqa-usbfs-chip: %s\n", line.c_str());
  std::fflush(stderr);
}

// Blocked in every thread and taken one at a time by the main thread, so
// nothing runs in a signal handler.
sigset_t SupervisedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGCHLD}) sigaddset(&set, signal);
  return set;
}

// Starts COMMAND under umockdev's preload library with the signals unblocked;
// -1 with errno when it cannot.
pid_t Spawn(const std::vector<std::string>& command) {
  std::vector<std::string> environment = usb::usbfs::PreloadEnvironment(usb::usbfs::CurrentEnvironment());
  environment.push_back("KESTRELQA_USBFS_CHIP_PID=" + std::to_string(::getpid()));
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return pid;
}

// Serves signals until COMMAND ends; returns its exit status.
int Supervise(const sigset_t& signals, pid_t child, chip::Kestrel& chip, usb::usbfs::UmockdevUsbBus& bus) {
  for (;;) {
    const int signal = sigwaitinfo(&signals, nullptr);
    if (signal == SIGCHLD) {
      int status = 0;
      if (::waitpid(child, &status, WNOHANG) != child) continue;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (signal == SIGUSR1) {
      chip.unplug();
      bus.waitIdle();
      Log("emulated Kestrel unplugged (SIGUSR1)");
    } else if (signal == SIGUSR2) {
      chip.replug();
      bus.waitIdle();
      const std::string node = bus.deviceNode();
      Log(node.empty() ? "emulated Kestrel plugged back in, but not on the bus: " + bus.lastError()
                       : "emulated Kestrel plugged back in at " + node + " (SIGUSR2)");
    } else if (signal > 0) {
      ::kill(child, signal);  // COMMAND decides; its end ends the chip
    }
  }
}

int Run(const usbfs::UsbfsChipOptions& options) {
  if (!usb::usbfs::PreloadActive()) {
    Log(std::string("umockdev's preload library ") + usb::usbfs::kPreloadLibrary +
        " cannot be loaded (scripts/setup installs umockdev)");
    return kExitChipFailed;
  }
  const sigset_t signals = SupervisedSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any thread starts

  // The test bed first: it sets UMOCKDEV_DIR before the chip's threads run.
  // It goes first too (declared after the chip): it lets go of the chip.
  std::unique_ptr<chip::Kestrel> chip;
  auto bus = std::make_unique<usb::usbfs::UmockdevUsbBus>();
  try {
    chip::KestrelOptions chipOptions;
    chipOptions.board = options.board;
    chipOptions.radio.environmentFile = options.environmentFile;
    chip = std::make_unique<chip::Kestrel>(SystemClock(), chipOptions);
  } catch (const std::exception& failure) {
    Log(std::string("cannot start the emulated Kestrel: ") + failure.what());
    return kExitChipFailed;
  }
  bus->serve(*chip);
  if (bus->deviceNode().empty()) {
    Log("the emulated Kestrel is not on the bus: " + bus->lastError());
    return kExitChipFailed;
  }
  Log(usbfs::ChipName(options.board) + " at " + bus->deviceNode() +
      " (SIGUSR1 unplugs it, SIGUSR2 plugs it back in)");

  const pid_t child = Spawn(options.command);
  if (child < 0) {
    Log("cannot run " + options.command.front() + ": " + std::strerror(errno));
    return kExitCannotRun;
  }
  return Supervise(signals, child, *chip, *bus);
}

}  // namespace

int main(int argc, char** argv) {
  // The bus's uevents are built from sysfs as the preload library shows it.
  kqa::usb::usbfs::RestartUnderPreload(argv);
  kqa::usbfs::UsbfsChipOptions options;
  std::string text;
  switch (kqa::usbfs::ParseUsbfsChipOptions(argc, argv, options, text)) {
    case kqa::usbfs::ParseOutcome::Help:
      std::fputs(text.c_str(), stdout);
      return 0;
    case kqa::usbfs::ParseOutcome::Mistake:
      std::fprintf(stderr, "kestrelqa-usbfs-chip: %s\n", text.c_str());
      return kExitUsage;
    case kqa::usbfs::ParseOutcome::Run: break;
  }
  return Run(options);
}
