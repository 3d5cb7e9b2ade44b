#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "app/shell/page/progress.h"

namespace kqa::cli {

// A long command's progress on a terminal: "Loading  [#######.......]  50%",
// redrawn in place on standard error when the percentage moves and ended
// with a line feed. Off the terminal (a pipe, a file, the tests' streams)
// it draws nothing, so scripts see only the command's messages.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, std::string what);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // The callback to hand to the page logic; valid while the bar lives.
  page::Progress sink();

 private:
  void show(std::size_t done, std::size_t total);

  std::ostream& err_;
  std::string what_;
  bool enabled_;
  int shown_ = -1;  // the percentage on screen
};

}  // namespace kqa::cli
