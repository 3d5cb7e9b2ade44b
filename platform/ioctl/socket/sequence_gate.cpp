#include "platform/ioctl/socket/sequence_gate.h"

namespace kqa::ioctl {

bool SequenceGate::enterCall(Owner owner) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, patience_, [&] { return freeFor(owner); })) return false;
  ++callsInFlight_;
  return true;
}

void SequenceGate::leaveCall() {
  {
    std::lock_guard lock(mutex_);
    --callsInFlight_;
  }
  changed_.notify_all();
}

bool SequenceGate::hold(Owner owner) {
  std::unique_lock lock(mutex_);
  // A connection makes one call at a time, so the calls in flight when it
  // asks are all other connections'.
  if (!changed_.wait_for(lock, patience_, [&] { return freeFor(owner) && callsInFlight_ == 0; }))
    return false;
  holder_ = owner;
  return true;
}

void SequenceGate::release(Owner owner) {
  {
    std::lock_guard lock(mutex_);
    if (holder_ != owner) return;
    holder_ = nullptr;
  }
  changed_.notify_all();
}

}  // namespace kqa::ioctl
