#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "chip/bulk_endpoint.h"
#include "chip/kestrel_options.h"
#include "platform/clock/clock.h"
#include "platform/usb/wire/usb_wire.h"

namespace kqa::chip {

// The host-controller side of the chip's bulk endpoints: one queue per
// endpoint, served in submission order, round robin across endpoints. OUT
// transfers are handed to the endpoint's handler and complete; IN transfers
// stay pending until the handler has something to send. Every transfer
// completes exactly once, on the completion thread (Completions::Thread) or
// inside runUntilIdle() (Completions::Stepped), never inside submit() or
// cancel(), and never under the engine's lock, so a completion may submit
// the next transfer.
class BulkEngine {
 public:
  using TransferId = std::uint64_t;
  using Completion = std::function<void(usb::TransferResult result)>;

  // What the endpoints can do as a whole: work, fail every transfer with Error
  // (no configuration selected), or fail them with NoDevice (unplugged).
  enum class Link { Configured, Unconfigured, Detached };

  BulkEngine(Clock& clock, Completions mode);
  ~BulkEngine();
  BulkEngine(const BulkEngine&) = delete;
  BulkEngine& operator=(const BulkEngine&) = delete;

  void setTiming(Clock::Duration perTransfer, Clock::Duration perByte);

  // Declares an endpoint and its handler (replacing an earlier one). Transfers
  // to undeclared endpoints complete with Error.
  void setHandler(std::uint8_t endpoint, std::shared_ptr<BulkEndpointHandler> handler);
  std::shared_ptr<BulkEndpointHandler> handler(std::uint8_t endpoint) const;

  TransferId submit(std::uint8_t endpoint, std::span<std::uint8_t> buffer, Completion completion);
  void cancel(TransferId id);
  // The IN endpoint's handler may have something to send now.
  void wake(std::uint8_t endpoint);

  void setLink(Link link);
  // A halted endpoint stalls its transfers until the halt is cleared.
  void setHalted(std::uint8_t endpoint, bool halted);
  bool halted(std::uint8_t endpoint) const;
  void clearHalts();

  // Runs `event` where completions run, after the work already queued.
  void post(std::function<void()> event);

  // Stepped: carries out everything that can be done now (completions, posted
  // events), in this thread. Threaded: waits until the completion thread has
  // nothing left to do. Pending IN transfers without data do not count.
  void runUntilIdle();

  // Completes everything still pending with NoDevice, drops posted events and
  // stops the completion thread. Later submissions complete at once.
  void shutdown();

 private:
  struct Transfer {
    TransferId id = 0;
    std::uint8_t endpoint = 0;
    std::span<std::uint8_t> buffer;
    Completion completion;
    bool cancelled = false;
  };
  struct Endpoint {
    std::shared_ptr<BulkEndpointHandler> handler;
    std::deque<Transfer> queue;
    bool inReady = true;       // the handler may have data (IN)
    std::uint64_t wakes = 0;   // bumped by wake() and submit()
    bool halted = false;
  };
  // One step of work, chosen under the lock and carried out outside it.
  struct Work {
    enum class Kind { Finish, Out, In, Event } kind = Kind::Finish;
    Transfer transfer;
    usb::TransferStatus status = usb::TransferStatus::Completed;
    std::shared_ptr<BulkEndpointHandler> handler;
    std::uint64_t wakes = 0;
    std::function<void()> event;
  };

  static bool IsIn(std::uint8_t endpoint) { return (endpoint & usb::kEndpointIn) != 0; }
  std::optional<Work> takeLocked();
  std::optional<Work> takeFromLocked(Endpoint& endpoint);
  bool hasWorkLocked() const;
  void carryOut(Work& work);
  void finishIn(Work& work, std::optional<std::vector<std::uint8_t>> data);
  void complete(Transfer& transfer, usb::TransferStatus status, std::size_t length);
  void workerLoop();

  Clock& clock_;
  const Completions mode_;
  Clock::Duration perTransfer_{};
  Clock::Duration perByte_{};

  mutable std::mutex mutex_;
  std::condition_variable workCv_;
  std::condition_variable idleCv_;
  std::map<std::uint8_t, Endpoint> endpoints_;
  std::deque<Transfer> refused_;  // to undeclared endpoints
  std::deque<std::function<void()>> events_;
  Link link_ = Link::Unconfigured;
  TransferId nextId_ = 1;
  std::optional<TransferId> inFlight_;  // taken out of its queue, being carried out
  bool inFlightCancelled_ = false;
  std::size_t roundRobin_ = 0;
  bool busy_ = false;
  bool stopping_ = false;
  bool stopped_ = false;

  std::mutex stepMutex_;  // one stepper at a time
  std::thread worker_;
};

}  // namespace kqa::chip
