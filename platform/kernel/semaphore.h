#pragma once

#include <condition_variable>
#include <mutex>

namespace kqa::kernel {

// A counting semaphore with a limit (KSEMAPHORE). With count 1 and limit 1 it
// lets one holder through at a time, whichever thread releases it.
class Semaphore {
 public:
  Semaphore(int count, int limit) : count_(count), limit_(limit) {}
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  void wait();     // KeWaitForSingleObject without time-out
  void release();  // KeReleaseSemaphore with adjustment 1; past the limit is a bug check

 private:
  std::mutex mutex_;
  std::condition_variable available_;
  int count_;
  const int limit_;
};

}  // namespace kqa::kernel
