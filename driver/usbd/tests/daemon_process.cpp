#include "driver/usbd/tests/daemon_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

namespace kqa::usbd::testing {
namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  return text;
}

}  // namespace

DaemonProcess::DaemonProcess(const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  std::vector<std::string> all{KQA_USBD_EXECUTABLE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv = Argv(all);
  if (posix_spawn(&pid_, KQA_USBD_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  stderr_ = fds[0];
}

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
  if (stderr_ >= 0) ::close(stderr_);
}

void DaemonProcess::signal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

bool DaemonProcess::waitFor(const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  std::size_t at;
  while ((at = output_.find(text, found_)) == std::string::npos)
    if (!readMore(deadline)) return false;
  found_ = at + text.size();
  return true;
}

int DaemonProcess::waitForExit() {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  while (readMore(deadline)) {
  }
  int status = 0;
  if (std::chrono::steady_clock::now() >= deadline || ::waitpid(pid_, &status, 0) != pid_) return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool DaemonProcess::readMore(std::chrono::steady_clock::time_point deadline) {
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

ProgramRun RunProgram(const std::vector<std::string>& args) {
  ProgramRun run;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (!out || !err) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, ::fileno(out), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ::fileno(err), STDERR_FILENO);
  std::vector<char*> argv = Argv(args);
  pid_t pid = -1;
  int status = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
      ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.exitCode = WEXITSTATUS(status);
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

}  // namespace kqa::usbd::testing
