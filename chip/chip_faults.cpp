#include "chip/chip_faults.h"

#include <algorithm>

namespace kqa::chip {

namespace {
std::size_t Index(BusyUnit unit) { return static_cast<std::size_t>(unit); }
}  // namespace

bool ControlMatch::matches(const usb::SetupPacket& setup) const {
  return (!requestType || *requestType == setup.bmRequestType) &&
         (!request || *request == setup.bRequest) && (!index || *index == setup.wIndex);
}

void ChipFaults::failControl(ControlFault fault, int count, ControlMatch match) {
  if (count == 0 || count < kAlways) return;
  std::lock_guard lock(mutex_);
  controlRules_.push_back({fault, count, match});
}

void ChipFaults::clearControlFaults() {
  std::lock_guard lock(mutex_);
  controlRules_.clear();
}

void ChipFaults::setBusyStuck(BusyUnit unit, bool stuck) {
  std::lock_guard lock(mutex_);
  stuck_[Index(unit)] = stuck;
}

void ChipFaults::setBusyReads(BusyUnit unit, int reads) {
  std::lock_guard lock(mutex_);
  busyReads_[Index(unit)] = std::max(reads, 0);
}

void ChipFaults::failIdentity(int reads) {
  std::lock_guard lock(mutex_);
  identityFailures_ = reads;
}

void ChipFaults::addWeakEfuseBit(std::uint16_t byteAddress, int bit) {
  if (bit < 0 || bit > 7) return;
  std::lock_guard lock(mutex_);
  weakBits_.insert({byteAddress, bit});
}

void ChipFaults::clear() {
  std::lock_guard lock(mutex_);
  controlRules_.clear();
  stuck_ = {};
  busyReads_ = {};
  identityFailures_ = 0;
  weakBits_.clear();
}

std::optional<ControlFault> ChipFaults::takeControlFault(const usb::SetupPacket& setup) {
  std::lock_guard lock(mutex_);
  auto rule = std::find_if(controlRules_.begin(), controlRules_.end(),
                           [&](const ControlRule& r) { return r.match.matches(setup); });
  if (rule == controlRules_.end()) return std::nullopt;
  const ControlFault fault = rule->fault;
  if (rule->remaining != kAlways && --rule->remaining == 0) controlRules_.erase(rule);
  return fault;
}

bool ChipFaults::busyStuck(BusyUnit unit) const {
  std::lock_guard lock(mutex_);
  return stuck_[Index(unit)];
}

int ChipFaults::busyReads(BusyUnit unit) const {
  std::lock_guard lock(mutex_);
  return busyReads_[Index(unit)];
}

bool ChipFaults::takeIdentityFailure() {
  std::lock_guard lock(mutex_);
  if (identityFailures_ == 0) return false;
  if (identityFailures_ != kAlways) --identityFailures_;
  return true;
}

std::uint8_t ChipFaults::weakEfuseBits(std::uint16_t byteAddress) const {
  std::lock_guard lock(mutex_);
  std::uint8_t mask = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (weakBits_.count({byteAddress, bit}) != 0) mask = static_cast<std::uint8_t>(mask | (1u << bit));
  return mask;
}

}  // namespace kqa::chip
