#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/clock/clock.h"

namespace kqa::kernel {

// A notification event (KEVENT, NotificationEvent): once set it stays set and
// releases every waiter until it is reset.
class Event {
 public:
  explicit Event(bool signaled = false) : signaled_(signaled) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();                  // KeSetEvent; allowed at dispatch level
  void reset();                // KeResetEvent / KeInitializeEvent(not signalled)
  bool isSet() const;          // KeReadStateEvent
  void wait();                 // KeWaitForSingleObject without time-out
  // KeWaitForSingleObject with a time-out measured on `clock`: returns false
  // when `deadline` (a clock.now() value) passes first. The clock may be
  // virtual, so its time is re-read at least every millisecond of real time
  // instead of trusting one long real wait.
  bool waitUntil(Clock& clock, Clock::Duration deadline);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool signaled_;
};

}  // namespace kqa::kernel
