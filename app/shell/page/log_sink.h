#pragma once

#include <string_view>

namespace kqa::page {

// Where the logic writes a page's list-box log (script logs, scan results).
// Entries come as the logic formats them, usually ending in "\n"; the page
// shows each one as a row and keeps the last one selected. Tests and
// kestrelqa-cli collect the entries instead.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void clear() = 0;
  virtual void append(std::string_view entry) = 0;
};

}  // namespace kqa::page
