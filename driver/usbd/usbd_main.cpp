// kestrelqa-usbd: the QA driver as a process, serving one device (a real chip
// on USB or the emulated chip) to kestrelqa and kestrelqa-cli on a Unix
// socket. It is the driver's one client: it holds the device open and shares
// that handle among its clients (DeviceKeeper). See driver/usbd/README.md and
// platform/ioctl/README.md.

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "driver/usbd/device_keeper.h"
#include "driver/usbd/socket_folder.h"
#include "driver/usbd/usbd_options.h"
#include "platform/clock/clock.h"
#include "devices/device_select.h"
#include "platform/ioctl/socket/socket_listener.h"
#include "platform/ioctl/socket/socket_server.h"

namespace {

using namespace kqa;

void Log(const std::string& line) {
  std::fprintf(stderr, "kestrelqa-usbd: %s\n", line.c_str());
  std::fflush(stderr);
}

int Fail(const std::string& message) {
  Log(message);
  return 1;
}

// The signals the daemon acts on. They are blocked in every thread and taken
// one at a time by the main thread, so no work happens in a signal handler.
sigset_t DaemonSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&set, signal);
  return set;
}

// How often the daemon looks at its device and its socket when no signal
// comes: the same cadence as the program's presence check.
constexpr long kCheckIntervalNs = 500'000'000;

// Keeps clients able to reach the daemon and other daemons off its path: a
// removed socket or lock file is created again (connected clients are not
// disturbed). False when another file took the place of either, or mending
// fails: the daemon then stops, and a new one can claim the path cleanly.
bool KeepSocket(ioctl::UnixSocketListener& listener, ioctl::SocketServer& server) {
  ioctl::UniqueFd socket;
  std::string what;
  switch (listener.check(socket, what)) {
    case ioctl::UnixSocketListener::ClaimState::Intact:
      return true;
    case ioctl::UnixSocketListener::ClaimState::Repaired:
      if (socket.valid()) server.replaceListener(std::move(socket));
      Log(what);
      return true;
    case ioctl::UnixSocketListener::ClaimState::Lost:
      Log(what + "; stopping, so that a new kestrelqa-usbd can claim the path");
      return false;
  }
  return false;
}

// Waits for signals until one that ends the daemon; SIGUSR1 and SIGUSR2
// unplug and re-plug the emulated chip. Between signals, checks the device
// and the socket twice a second. Returns the exit status.
int ServeUntilStopped(const sigset_t& signals, devices::OpenedDevice& device, usbd::DeviceKeeper& keeper,
                      ioctl::UnixSocketListener& listener, ioctl::SocketServer& server) {
  for (;;) {
    const timespec interval{0, kCheckIntervalNs};
    const int signal = sigtimedwait(&signals, nullptr, &interval);
    if (signal < 0) {
      if (errno != EAGAIN) continue;  // EINTR
      keeper.check();
      if (!KeepSocket(listener, server)) return 1;
    } else if (signal == SIGUSR1 || signal == SIGUSR2) {
      const bool unplug = signal == SIGUSR1;
      const char* name = unplug ? "SIGUSR1" : "SIGUSR2";
      if (!device.isEmulated() || !(unplug ? device.unplug() : device.replug()))
        Log(std::string(name) + " ignored: only an emulated chip of this daemon can be unplugged");
      else
        Log(unplug ? "emulated Kestrel unplugged (SIGUSR1)"
                   : "emulated Kestrel plugged back in (SIGUSR2)");
      keeper.check();  // closes the handle of a chip that went, opens one that came
    } else {
      Log(std::string("stopping (") + (signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP") + ")");
      return 0;
    }
  }
}

int Run(const usbd::UsbdOptions& options) {
  const sigset_t signals = DaemonSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any thread starts
  ::signal(SIGPIPE, SIG_IGN);

  std::optional<gid_t> group;
  if (!options.group.empty() && !(group = usbd::GroupId(options.group)))
    return Fail("unknown group " + options.group);
  const bool defaultPath = options.socketPath.empty();
  const std::string path = defaultPath ? devices::DefaultSocketPath() : options.socketPath;
  std::string error;
  if (!usbd::PrepareSocketFolder(path, group, defaultPath, error)) return Fail(error);

  // Claim the socket before touching the device: a second daemon must leave
  // the first one's chip and state file alone.
  auto listener = ioctl::UnixSocketListener::Claim(path, {.mode = 0660, .group = group}, error);
  if (!listener) return Fail(error);
  auto device = devices::OpenDevice(options.device, SystemClock(), error);
  if (!device) return Fail(error);
  int status = 0;
  {
    usbd::DeviceKeeper keeper(device->provider(), Log);
    keeper.check();  // opens the device now, or says why not
    ioctl::SocketServer server(keeper, {device->deviceName(), device->isEmulated()}, listener->takeSocket(),
                               {.deviceState = [&keeper] { return keeper.state(); }});
    Log("serving " + device->deviceName() + " on " + path);
    status = ServeUntilStopped(signals, *device, keeper, *listener, server);
    server.stop();  // every client's share is closed here
  }  // and the device's handle here
  device.reset();  // the emulated chip saves its state file
  listener.reset();
  Log("stopped");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  kqa::usbd::UsbdOptions options;
  std::string error;
  if (!kqa::usbd::ParseUsbdOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "kestrelqa-usbd: %s\nTry 'kestrelqa-usbd --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(kqa::usbd::UsbdHelpText().c_str(), stdout);
    return 0;
  }
  return Run(options);
}
