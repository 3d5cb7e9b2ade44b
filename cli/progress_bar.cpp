#include "cli/progress_bar.h"

#include <unistd.h>

#include <iostream>

namespace kqa::cli {
namespace {

constexpr int kWidth = 30;

}  // namespace

ProgressBar::ProgressBar(std::ostream& err, std::string what)
    : err_(err), what_(std::move(what)), enabled_(&err == &std::cerr && ::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
  if (shown_ >= 0) err_ << '\n' << std::flush;
}

page::Progress ProgressBar::sink() {
  if (!enabled_) return {};
  return [this](std::size_t done, std::size_t total) { show(done, total); };
}

void ProgressBar::show(std::size_t done, std::size_t total) {
  if (total == 0) return;
  const int percent = static_cast<int>(std::min(done, total) * 100 / total);
  if (percent == shown_) return;
  shown_ = percent;
  const int filled = percent * kWidth / 100;
  err_ << '\r' << what_ << "  [" << std::string(static_cast<std::size_t>(filled), '#')
       << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent << "%" << std::flush;
}

}  // namespace kqa::cli
