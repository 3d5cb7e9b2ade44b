#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kqa::kernel {

// A system worker thread with its queue (ExQueueWorkItem on the delayed work
// queue): items run one after another, in the order queued, at passive level,
// so they may wait and call the USB stack synchronously.
class WorkQueue {
 public:
  using WorkItem = std::function<void()>;

  WorkQueue();
  // Runs what is still queued, then stops the thread (a flag plus a wake-up)
  // and joins it.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Never blocks beyond a short lock, so completion routines may call it.
  void queue(WorkItem item);

  // Returns once every item queued before the call has run. Calling it from
  // an item would wait for itself, which is a bug check.
  void flush();

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable progressed_;
  std::deque<WorkItem> items_;
  std::uint64_t queued_ = 0;
  std::uint64_t finished_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kqa::kernel
