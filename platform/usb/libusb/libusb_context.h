#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "platform/kernel/work_queue.h"

struct libusb_context;

namespace kqa::usb {

// One libusb context and its event thread. Devices hold it by shared_ptr, so
// it outlives the last device: transfers in flight always have a thread that
// completes them. The thread stops on a flag plus libusb's own wake-up
// (libusb_interrupt_event_handler) and is joined.
class LibusbContext {
 public:
  LibusbContext();  // throws std::runtime_error when libusb cannot start
  ~LibusbContext();
  LibusbContext(const LibusbContext&) = delete;
  LibusbContext& operator=(const LibusbContext&) = delete;

  libusb_context* get() const { return context_; }
  // Completes transfers that could not even be submitted: never inline.
  kernel::WorkQueue& deferred() { return deferred_; }

 private:
  void runEvents();

  libusb_context* context_ = nullptr;
  kernel::WorkQueue deferred_;
  std::atomic<bool> stopping_{false};
  std::thread events_;
};

}  // namespace kqa::usb
