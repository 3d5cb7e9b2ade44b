#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace kqa::usbd::testing {

// kestrelqa-usbd run for a test, its standard error read as it comes. Waits
// are bounded in real time: a process is involved, not the chip. Destroying
// it kills the process if it still runs.
class DaemonProcess {
 public:
  explicit DaemonProcess(const std::vector<std::string>& args);
  ~DaemonProcess();
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  void signal(int number) const;
  const std::string& output() const { return output_; }

  // Reads until `text` has appeared since the last text found; false when
  // the process ends or the limit passes first.
  bool waitFor(const std::string& text);

  // Reads until the process closes its standard error, then reaps it: the
  // exit status, 128 + the signal, or -1 when it did not end within the limit.
  int waitForExit();

  static constexpr std::chrono::milliseconds kLimit{10'000};

 private:
  bool readMore(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int stderr_ = -1;
  std::string output_;
  std::size_t found_ = 0;
};

// Runs `argv` to its end with standard input empty and returns what it
// wrote; exitCode is -1 when it did not end normally.
struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};
ProgramRun RunProgram(const std::vector<std::string>& argv);

}  // namespace kqa::usbd::testing
