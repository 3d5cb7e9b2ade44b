#pragma once

#include <string>

namespace kqa::usb::usbfs {

// A device node whose poll() answers as usbdevfs does: POLLOUT while a
// completed URB waits to be reaped. The node is a FIFO; the bridge keeps one
// end open and fills the pipe (not writable: nothing to reap) or drains it
// (writable). libusb only polls the node and never reads or writes it.
// All opens of the node share the one readiness. A FIFO has no way to show
// POLLERR or POLLHUP, which the kernel adds for a removed device.
class ReadinessFifo {
 public:
  // Creates the FIFO at `path`, not ready; throws std::system_error.
  explicit ReadinessFifo(std::string path);
  // Closes the bridge's end; the FIFO stays for whoever still has it open.
  ~ReadinessFifo();
  ReadinessFifo(const ReadinessFifo&) = delete;
  ReadinessFifo& operator=(const ReadinessFifo&) = delete;

  void setReady(bool ready);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool ready_ = true;
};

}  // namespace kqa::usb::usbfs
