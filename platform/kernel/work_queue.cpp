#include "platform/kernel/work_queue.h"

#include <utility>

#include "platform/kernel/irql.h"

namespace kqa::kernel {

WorkQueue::WorkQueue() : thread_([this] { run(); }) {}

WorkQueue::~WorkQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void WorkQueue::queue(WorkItem item) {
  {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
    ++queued_;
  }
  wake_.notify_one();
}

void WorkQueue::flush() {
  RequirePassiveLevel("WorkQueue::flush");
  if (std::this_thread::get_id() == thread_.get_id()) BugCheck("work item flushing its own queue");
  std::unique_lock lock(mutex_);
  const std::uint64_t target = queued_;
  progressed_.wait(lock, [&] { return finished_ >= target; });
}

void WorkQueue::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !items_.empty(); });
    if (items_.empty()) return;  // stopping, and nothing left to run
    WorkItem item = std::move(items_.front());
    items_.pop_front();
    lock.unlock();
    item();
    item = nullptr;  // release what the item captured before reporting it done
    lock.lock();
    ++finished_;
    progressed_.notify_all();
  }
}

}  // namespace kqa::kernel
