#include "platform/usb/usbfs/readiness_fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace kqa::usb::usbfs {
namespace {

constexpr int kPipePage = 4096;  // the smallest pipe: one page fills it

}  // namespace

ReadinessFifo::ReadinessFifo(std::string path) : path_(std::move(path)) {
  if (::mkfifo(path_.c_str(), 0666) != 0 || ::chmod(path_.c_str(), 0666) != 0)
    throw std::system_error(errno, std::generic_category(), "cannot create the FIFO " + path_);
  fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot open the FIFO " + path_);
  ::fcntl(fd_, F_SETPIPE_SZ, kPipePage);  // a larger pipe only costs more bytes to fill
  setReady(false);
}

ReadinessFifo::~ReadinessFifo() {
  if (fd_ >= 0) ::close(fd_);
}

void ReadinessFifo::setReady(bool ready) {
  if (ready == ready_) return;
  ready_ = ready;
  std::array<char, kPipePage> chunk{};
  if (ready) {
    while (::read(fd_, chunk.data(), chunk.size()) > 0) {
    }
  } else {
    // Whole pages, then single bytes until the pipe takes no more.
    while (::write(fd_, chunk.data(), chunk.size()) > 0) {
    }
    while (::write(fd_, chunk.data(), 1) > 0) {
    }
  }
}

}  // namespace kqa::usb::usbfs
