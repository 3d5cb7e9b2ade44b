#pragma once

#include "app/shell/page/page_events.h"

namespace kqa {

class PropertyPage;

// One operation at a time on a sheet. An operation is a page's handler of a
// click, a key or a timer tick, run to its end on the UI thread; the gate
// counts the operations on the stack (a handler may run another page's hook,
// which may run work of its own) and the event-loop level the outermost one
// started at, so that work arriving from a nested loop (a message box the
// operation shows) is refused rather than run half-way through it.
class OperationGate {
 public:
  bool busy() const { return depth_ > 0; }

 private:
  friend class PropertyPage;
  int depth_ = 0;
  int loopLevel_ = 0;  // of the outermost operation
};

// What a page sees of the sheet that holds it (the sheet, or a test's
// harness for a page on its own).
class PageHost {
 public:
  // Hands `event` to every page that has been shown, except `from`.
  virtual void passOn(const page::PageEvent& event, PropertyPage& from) = 0;
  // The gate the pages of this host share.
  virtual OperationGate& gate() = 0;

 protected:
  ~PageHost() = default;
};

}  // namespace kqa
