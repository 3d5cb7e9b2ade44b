#include "chip/bulk_endpoint.h"

namespace kqa::chip {

void CountingOutEndpoint::receive(std::span<const std::uint8_t> data) {
  std::lock_guard lock(mutex_);
  ++transfers_;
  bytes_ += data.size();
}

std::uint64_t CountingOutEndpoint::transfers() const {
  std::lock_guard lock(mutex_);
  return transfers_;
}

std::uint64_t CountingOutEndpoint::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

void RecordingOutEndpoint::receive(std::span<const std::uint8_t> data) {
  std::lock_guard lock(mutex_);
  transfers_.emplace_back(data.begin(), data.end());
}

std::vector<std::vector<std::uint8_t>> RecordingOutEndpoint::transfers() const {
  std::lock_guard lock(mutex_);
  return transfers_;
}

void QueuedInEndpoint::push(std::vector<std::uint8_t> transfer) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(transfer));
  }
  if (wake_) wake_();
}

std::size_t QueuedInEndpoint::queued() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

std::optional<std::vector<std::uint8_t>> QueuedInEndpoint::nextTransfer(std::size_t) {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return std::nullopt;
  auto transfer = std::move(queue_.front());
  queue_.pop_front();
  return transfer;
}

}  // namespace kqa::chip
