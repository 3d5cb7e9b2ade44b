#include "chip/bulk_engine.h"

#include <algorithm>
#include <iterator>

namespace kqa::chip {

using usb::TransferStatus;

BulkEngine::BulkEngine(Clock& clock, Completions mode) : clock_(clock), mode_(mode) {
  if (mode_ == Completions::Thread) worker_ = std::thread([this] { workerLoop(); });
}

BulkEngine::~BulkEngine() { shutdown(); }

void BulkEngine::setTiming(Clock::Duration perTransfer, Clock::Duration perByte) {
  std::lock_guard lock(mutex_);
  perTransfer_ = perTransfer;
  perByte_ = perByte;
}

void BulkEngine::setHandler(std::uint8_t endpoint, std::shared_ptr<BulkEndpointHandler> handler) {
  std::lock_guard lock(mutex_);
  Endpoint& entry = endpoints_[endpoint];
  entry.handler = std::move(handler);
  entry.inReady = true;
  workCv_.notify_all();
}

std::shared_ptr<BulkEndpointHandler> BulkEngine::handler(std::uint8_t endpoint) const {
  std::lock_guard lock(mutex_);
  auto it = endpoints_.find(endpoint);
  return it == endpoints_.end() ? nullptr : it->second.handler;
}

BulkEngine::TransferId BulkEngine::submit(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                                          Completion completion) {
  std::unique_lock lock(mutex_);
  const TransferId id = nextId_++;
  Transfer transfer{id, endpoint, buffer, std::move(completion), false};
  if (stopping_) {
    // Only while the device is being destroyed: nothing will run later.
    lock.unlock();
    complete(transfer, TransferStatus::NoDevice, 0);
    return id;
  }
  auto it = endpoints_.find(endpoint);
  if (it == endpoints_.end()) {
    refused_.push_back(std::move(transfer));
  } else {
    it->second.queue.push_back(std::move(transfer));
    ++it->second.wakes;
    it->second.inReady = true;
  }
  workCv_.notify_all();
  return id;
}

void BulkEngine::cancel(TransferId id) {
  std::lock_guard lock(mutex_);
  if (inFlight_ == id) {
    inFlightCancelled_ = true;
    return;
  }
  for (auto& [address, endpoint] : endpoints_) {
    for (Transfer& transfer : endpoint.queue) {
      if (transfer.id == id) {
        transfer.cancelled = true;
        workCv_.notify_all();
        return;
      }
    }
  }
}

void BulkEngine::wake(std::uint8_t endpoint) {
  std::lock_guard lock(mutex_);
  auto it = endpoints_.find(endpoint);
  if (it == endpoints_.end()) return;
  ++it->second.wakes;
  it->second.inReady = true;
  workCv_.notify_all();
}

void BulkEngine::setLink(Link link) {
  std::lock_guard lock(mutex_);
  link_ = link;
  workCv_.notify_all();
}

void BulkEngine::setHalted(std::uint8_t endpoint, bool halted) {
  std::lock_guard lock(mutex_);
  auto it = endpoints_.find(endpoint);
  if (it == endpoints_.end()) return;
  it->second.halted = halted;
  it->second.inReady = true;
  workCv_.notify_all();
}

bool BulkEngine::halted(std::uint8_t endpoint) const {
  std::lock_guard lock(mutex_);
  auto it = endpoints_.find(endpoint);
  return it != endpoints_.end() && it->second.halted;
}

void BulkEngine::clearHalts() {
  std::lock_guard lock(mutex_);
  for (auto& [address, endpoint] : endpoints_) endpoint.halted = false;
  workCv_.notify_all();
}

void BulkEngine::post(std::function<void()> event) {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  events_.push_back(std::move(event));
  workCv_.notify_all();
}

std::optional<BulkEngine::Work> BulkEngine::takeLocked() {
  if (!refused_.empty()) {
    Work work{Work::Kind::Finish, std::move(refused_.front()), TransferStatus::Error, nullptr, 0, nullptr};
    refused_.pop_front();
    return work;
  }
  if (!events_.empty()) {
    Work work;
    work.kind = Work::Kind::Event;
    work.event = std::move(events_.front());
    events_.pop_front();
    return work;
  }
  const std::size_t count = endpoints_.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t index = (roundRobin_ + i) % count;
    auto it = std::next(endpoints_.begin(), static_cast<std::ptrdiff_t>(index));
    if (auto work = takeFromLocked(it->second)) {
      roundRobin_ = (index + 1) % count;
      return work;
    }
  }
  return std::nullopt;
}

bool BulkEngine::hasWorkLocked() const {
  if (!refused_.empty() || !events_.empty()) return true;
  for (const auto& [address, endpoint] : endpoints_) {
    const auto& queue = endpoint.queue;
    if (queue.empty()) continue;
    if (stopping_ || link_ != Link::Configured || endpoint.halted) return true;
    if (std::any_of(queue.begin(), queue.end(), [](const Transfer& t) { return t.cancelled; })) return true;
    if (!IsIn(queue.front().endpoint) || endpoint.inReady) return true;
  }
  return false;
}

std::optional<BulkEngine::Work> BulkEngine::takeFromLocked(Endpoint& endpoint) {
  auto& queue = endpoint.queue;
  if (queue.empty()) return std::nullopt;

  std::optional<TransferStatus> forced;
  if (stopping_ || link_ == Link::Detached) {
    forced = TransferStatus::NoDevice;
  } else if (link_ == Link::Unconfigured) {
    forced = TransferStatus::Error;
  } else if (endpoint.halted) {
    forced = TransferStatus::Stall;
  }
  // A cancelled transfer ends at once, even behind one still waiting for data.
  auto cancelled = std::find_if(queue.begin(), queue.end(), [](const Transfer& t) { return t.cancelled; });
  if (cancelled != queue.end() || forced) {
    auto chosen = cancelled != queue.end() ? cancelled : queue.begin();
    Work work{Work::Kind::Finish, std::move(*chosen),
              cancelled != queue.end() ? TransferStatus::Cancelled : *forced, nullptr, 0, nullptr};
    queue.erase(chosen);
    return work;
  }

  const std::uint8_t address = queue.front().endpoint;
  if (IsIn(address) && !endpoint.inReady) return std::nullopt;
  Work work{IsIn(address) ? Work::Kind::In : Work::Kind::Out, std::move(queue.front()), TransferStatus::Completed,
            endpoint.handler, endpoint.wakes, nullptr};
  queue.pop_front();
  inFlight_ = work.transfer.id;
  inFlightCancelled_ = false;
  return work;
}

void BulkEngine::carryOut(Work& work) {
  switch (work.kind) {
    case Work::Kind::Event:
      work.event();
      return;
    case Work::Kind::Finish:
      complete(work.transfer, work.status, 0);
      return;
    case Work::Kind::Out: {
      if (work.handler) work.handler->receive(work.transfer.buffer);
      Clock::Duration latency;
      {
        std::lock_guard lock(mutex_);
        inFlight_.reset();  // the data is consumed: a late cancel no longer counts
        latency = perTransfer_ + perByte_ * static_cast<std::int64_t>(work.transfer.buffer.size());
      }
      if (latency > Clock::Duration::zero()) clock_.sleep(latency);
      complete(work.transfer, TransferStatus::Completed, work.transfer.buffer.size());
      return;
    }
    case Work::Kind::In:
      finishIn(work, work.handler ? work.handler->nextTransfer(work.transfer.buffer.size()) : std::nullopt);
      return;
  }
}

void BulkEngine::finishIn(Work& work, std::optional<std::vector<std::uint8_t>> data) {
  std::unique_lock lock(mutex_);
  const bool cancelled = inFlightCancelled_;
  inFlight_.reset();
  if (data) {
    const Clock::Duration latency = perTransfer_ + perByte_ * static_cast<std::int64_t>(data->size());
    lock.unlock();
    auto& buffer = work.transfer.buffer;
    const std::size_t length = std::min(data->size(), buffer.size());
    std::copy_n(data->begin(), length, buffer.begin());
    if (latency > Clock::Duration::zero()) clock_.sleep(latency);
    complete(work.transfer, data->size() > buffer.size() ? TransferStatus::Overflow : TransferStatus::Completed,
             length);
    return;
  }
  if (cancelled) {
    lock.unlock();
    complete(work.transfer, TransferStatus::Cancelled, 0);
    return;
  }
  // Nothing to send yet: back to the head of its queue until a wake-up.
  Endpoint& endpoint = endpoints_[work.transfer.endpoint];
  if (endpoint.wakes == work.wakes) endpoint.inReady = false;
  endpoint.queue.push_front(std::move(work.transfer));
}

void BulkEngine::complete(Transfer& transfer, TransferStatus status, std::size_t length) {
  if (transfer.completion) transfer.completion({status, length});
}

void BulkEngine::workerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (auto work = takeLocked()) {
      busy_ = true;
      lock.unlock();
      carryOut(*work);
      lock.lock();
      busy_ = false;
      continue;
    }
    idleCv_.notify_all();
    if (stopping_) return;
    workCv_.wait(lock);
  }
}

void BulkEngine::runUntilIdle() {
  if (mode_ == Completions::Thread) {
    std::unique_lock lock(mutex_);
    idleCv_.wait(lock, [this] {
      if (stopped_) return true;
      if (busy_) return false;
      return !hasWorkLocked();
    });
    return;
  }
  std::lock_guard step(stepMutex_);
  for (;;) {
    std::optional<Work> work;
    {
      std::lock_guard lock(mutex_);
      work = takeLocked();
    }
    if (!work) return;
    carryOut(*work);
  }
}

void BulkEngine::shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    stopping_ = true;
    events_.clear();
    workCv_.notify_all();
  }
  if (worker_.joinable()) {
    worker_.join();
  } else {
    runUntilIdle();
  }
  std::lock_guard lock(mutex_);
  stopped_ = true;
  idleCv_.notify_all();
}

}  // namespace kqa::chip
