#pragma once

#include <cstddef>
#include <functional>

namespace kqa::page {

// How the logic reports a long operation: `done` of `total` steps (words read,
// registers written, ...). Call it as often as is natural, even every step: the
// page repaints its bar only when the bar moves. An empty callback is allowed.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

inline void Report(const Progress& progress, std::size_t done, std::size_t total) {
  if (progress) progress(done, total);
}

}  // namespace kqa::page
