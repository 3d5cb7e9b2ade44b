#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kqa::ioctl {

// Keeps one connection's register sequence whole while several connections
// share the server's device. A sequence (the eFuse controller's address,
// kick, poll and data words; the BBP and RF command registers) is a string
// of separate calls; were another client's call to land between two of
// them, it would read the wrong word or burn the wrong eFuse bits.
//
// A connection holds the gate for a sequence: holding waits until no other
// connection holds it and no other connection's call is in flight; while it
// is held, other connections' calls wait. Releasing (or the holder's
// connection ending) lets them go on. Every wait is bounded, so a client
// that never releases stalls others for at most `patience`, after which
// their calls fail instead of hanging.
class SequenceGate {
 public:
  using Owner = const void*;

  explicit SequenceGate(std::chrono::milliseconds patience = std::chrono::seconds(10))
      : patience_(patience) {}

  // Before a call of `owner`: false when another owner kept the gate past
  // the patience (the call must then not be made). Pair a true with leaveCall.
  bool enterCall(Owner owner);
  void leaveCall();

  // False when the gate could not be had within the patience.
  bool hold(Owner owner);
  void release(Owner owner);  // nothing when `owner` does not hold it

 private:
  bool freeFor(Owner owner) const { return holder_ == nullptr || holder_ == owner; }

  const std::chrono::milliseconds patience_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Owner holder_ = nullptr;
  int callsInFlight_ = 0;
};

}  // namespace kqa::ioctl
