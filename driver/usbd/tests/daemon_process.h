#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace kqa::usbd::testing {

// kestrelqa-usbd run as a real process for a test, its standard error read
// line by line. Waits are bounded in real time: a process is involved, not
// the chip. Destroying it kills the process if it still runs.
class DaemonProcess {
 public:
  static constexpr std::chrono::milliseconds kLimit{10'000};

  DaemonProcess(const std::string& executable, const std::vector<std::string>& args);
  ~DaemonProcess();
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int number) const;
  // Reads lines until one contains `text`; false when the process ends or
  // the limit passes first. Every line read is kept in output().
  bool waitForLine(const std::string& text);
  // Reads until the process closes its standard error, then reaps it; the
  // exit status, or -1 when it did not end within the limit.
  int waitForExit();
  const std::string& output() const { return output_; }

 private:
  bool readMore(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int stderr_ = -1;
  std::string output_;
  std::size_t scanned_ = 0;
};

}  // namespace kqa::usbd::testing
