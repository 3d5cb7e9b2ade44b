#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace kqa::chip {

// What the chip does with the transfers of one bulk endpoint. Handlers are
// called on the chip's completion thread (or inside Kestrel::runUntilIdle),
// one call at a time, never under the chip's lock: they may use the
// Kestrel's public methods (withCore, wakeBulkIn, ...).
class BulkEndpointHandler {
 public:
  virtual ~BulkEndpointHandler() = default;

  // OUT endpoints: one transfer the host sent, consumed whole.
  virtual void receive(std::span<const std::uint8_t> data) { (void)data; }

  // IN endpoints: the next transfer the chip sends, or nothing while none is
  // ready. A pending IN transfer is asked again only after a wake-up
  // (Kestrel::wakeBulkIn) or when the host submits another one. An answer
  // longer than `capacity` (the host's buffer) ends the transfer in Overflow
  // with the first `capacity` bytes.
  virtual std::optional<std::vector<std::uint8_t>> nextTransfer(std::size_t capacity) {
    (void)capacity;
    return std::nullopt;
  }
};

// An OUT endpoint that accepts everything and counts it (the default for the
// OUT endpoints until the radio side installs its own).
class CountingOutEndpoint final : public BulkEndpointHandler {
 public:
  void receive(std::span<const std::uint8_t> data) override;
  std::uint64_t transfers() const;
  std::uint64_t bytes() const;

 private:
  mutable std::mutex mutex_;
  std::uint64_t transfers_ = 0;
  std::uint64_t bytes_ = 0;
};

// An OUT endpoint that keeps every transfer (for tests).
class RecordingOutEndpoint final : public BulkEndpointHandler {
 public:
  void receive(std::span<const std::uint8_t> data) override;
  std::vector<std::vector<std::uint8_t>> transfers() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<std::uint8_t>> transfers_;
};

// An IN endpoint that sends queued transfers in order. push() may be called
// from any thread, also from inside a register hook; it wakes the endpoint
// through the function given at construction, e.g.
//   [&chip] { chip.wakeBulkIn(0x81); }
class QueuedInEndpoint final : public BulkEndpointHandler {
 public:
  explicit QueuedInEndpoint(std::function<void()> wake) : wake_(std::move(wake)) {}

  void push(std::vector<std::uint8_t> transfer);
  std::size_t queued() const;
  std::optional<std::vector<std::uint8_t>> nextTransfer(std::size_t capacity) override;

 private:
  std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::deque<std::vector<std::uint8_t>> queue_;
};

}  // namespace kqa::chip
