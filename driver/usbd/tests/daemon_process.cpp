#include "driver/usbd/tests/daemon_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace kqa::usbd::testing {

DaemonProcess::DaemonProcess(const std::string& executable, const std::vector<std::string>& args) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  stderr_ = pipeFds[0];
}

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (stderr_ >= 0) ::close(stderr_);
}

void DaemonProcess::signal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

bool DaemonProcess::readMore(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{stderr_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[512];
    const ssize_t n = ::read(stderr_, chunk, sizeof chunk);
    if (n <= 0) return false;  // the process closed its end: it has ended
    output_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
}

bool DaemonProcess::waitForLine(const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  for (;;) {
    // Look at complete lines only, each once.
    for (std::size_t end; (end = output_.find('\n', scanned_)) != std::string::npos;) {
      const bool found = output_.substr(scanned_, end - scanned_).find(text) != std::string::npos;
      scanned_ = end + 1;
      if (found) return true;
    }
    if (!readMore(deadline)) return false;
  }
}

int DaemonProcess::waitForExit() {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  while (readMore(deadline)) {
  }
  if (std::chrono::steady_clock::now() >= deadline) return -1;
  int status = 0;
  if (::waitpid(pid_, &status, 0) != pid_) return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace kqa::usbd::testing
