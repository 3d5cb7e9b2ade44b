#include "platform/usb/libusb/libusb_context.h"

#include <libusb.h>

#include <stdexcept>
#include <string>

namespace kqa::usb {

LibusbContext::LibusbContext() {
  const int rc = libusb_init(&context_);
  if (rc != 0) {
    context_ = nullptr;
    throw std::runtime_error(std::string("libusb could not start: ") + libusb_error_name(rc));
  }
  events_ = std::thread([this] { runEvents(); });
}

LibusbContext::~LibusbContext() {
  stopping_ = true;
  libusb_interrupt_event_handler(context_);
  events_.join();
  deferred_.flush();
  libusb_exit(context_);
}

void LibusbContext::runEvents() {
  while (!stopping_) {
    timeval wait{0, 100000};  // also bounded, in case a wake-up is missed
    libusb_handle_events_timeout_completed(context_, &wait, nullptr);
  }
}

}  // namespace kqa::usb
