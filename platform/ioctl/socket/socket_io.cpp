#include "platform/ioctl/socket/socket_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace kqa::ioctl {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left until the deadline, rounded up, for poll(); -1 = forever.
int PollTimeout(IoDeadline deadline) {
  if (!deadline) return -1;
  const auto left = *deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

// Waits for `events` on the socket; Ok when it is ready (or has hung up,
// which the following read or write reports).
IoStatus WaitFor(int fd, short events, IoDeadline deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int timeout = PollTimeout(deadline);
    const int ready = ::poll(&entry, 1, timeout);
    if (ready > 0) return IoStatus::Ok;
    if (ready == 0) return IoStatus::TimedOut;
    if (errno != EINTR) return IoStatus::Failed;
  }
}

IoStatus StatusOfErrno(int error) {
  return error == ECONNRESET || error == EPIPE || error == ENOTCONN ? IoStatus::Closed
                                                                     : IoStatus::Failed;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

IoDeadline DeadlineAfter(std::chrono::milliseconds timeout) { return SteadyClock::now() + timeout; }

IoStatus ReadSome(int fd, std::span<std::uint8_t> out, IoDeadline deadline, std::size_t& count) {
  count = 0;
  // Without a deadline the socket blocks in recv; with one, recv never blocks
  // and poll does the waiting.
  const int flags = deadline ? MSG_DONTWAIT : 0;
  for (;;) {
    const ssize_t n = ::recv(fd, out.data(), out.size(), flags);
    if (n > 0) {
      count = static_cast<std::size_t>(n);
      return IoStatus::Ok;
    }
    if (n == 0) return IoStatus::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return StatusOfErrno(errno);
    if (IoStatus waited = WaitFor(fd, POLLIN, deadline); waited != IoStatus::Ok) return waited;
  }
}

IoStatus ReadExact(int fd, std::span<std::uint8_t> out, IoDeadline deadline) {
  while (!out.empty()) {
    std::size_t count = 0;
    if (IoStatus status = ReadSome(fd, out, deadline, count); status != IoStatus::Ok)
      return status;
    out = out.subspan(count);
  }
  return IoStatus::Ok;
}

IoStatus WriteAll(int fd, std::initializer_list<std::span<const std::uint8_t>> pieces,
                  IoDeadline deadline) {
  iovec vectors[4];
  std::size_t count = 0;
  for (std::span<const std::uint8_t> piece : pieces) {
    if (piece.empty()) continue;
    if (count == std::size(vectors)) return IoStatus::Failed;
    vectors[count++] = iovec{const_cast<std::uint8_t*>(piece.data()), piece.size()};
  }
  iovec* next = vectors;
  const int flags = MSG_NOSIGNAL | (deadline ? MSG_DONTWAIT : 0);
  while (count > 0) {
    msghdr message{};
    message.msg_iov = next;
    message.msg_iovlen = count;
    const ssize_t n = ::sendmsg(fd, &message, flags);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return StatusOfErrno(errno);
      if (IoStatus waited = WaitFor(fd, POLLOUT, deadline); waited != IoStatus::Ok) return waited;
      continue;
    }
    // Skip what went out; a partial write leaves the rest of one piece.
    std::size_t sent = static_cast<std::size_t>(n);
    while (count > 0 && sent >= next->iov_len) {
      sent -= next->iov_len;
      ++next;
      --count;
    }
    if (count > 0) {
      next->iov_base = static_cast<std::uint8_t*>(next->iov_base) + sent;
      next->iov_len -= sent;
    }
  }
  return IoStatus::Ok;
}

IoStatus WaitForClose(int fd, IoDeadline deadline) {
  std::uint8_t sink[4096];
  for (;;) {
    std::size_t count = 0;
    const IoStatus status = ReadSome(fd, sink, deadline, count);
    if (status != IoStatus::Ok) return status == IoStatus::Closed ? IoStatus::Ok : status;
  }
}

std::size_t MaxUnixSocketPathLength() { return sizeof(sockaddr_un::sun_path) - 1; }

ConnectResult ConnectUnixSocket(const std::string& path) {
  ConnectResult result;
  if (path.empty() || path.find('\0') != std::string::npos) {
    result.error = EINVAL;
    return result;
  }
  if (path.size() > MaxUnixSocketPathLength()) {
    result.error = ENAMETOOLONG;
    return result;
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    result.error = errno;
    return result;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  for (;;) {
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) break;
    if (errno == EINTR) continue;
    result.error = errno;
    return result;
  }
  result.fd = std::move(fd);
  return result;
}

BufferedReader::BufferedReader(int fd, std::size_t capacity) : fd_(fd), buffer_(capacity) {}

IoStatus BufferedReader::waitForData() {
  if (begin_ < end_) return IoStatus::Ok;
  std::size_t count = 0;
  const IoStatus status = ReadSome(fd_, buffer_, std::nullopt, count);
  begin_ = 0;
  end_ = count;
  return status;
}

IoStatus BufferedReader::readExact(std::span<std::uint8_t> out, IoDeadline deadline) {
  const std::size_t buffered = std::min(out.size(), end_ - begin_);
  std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_), buffered, out.begin());
  begin_ += buffered;
  out = out.subspan(buffered);
  // A large remainder goes straight to its destination; a small one through
  // the buffer, which also picks up the start of the next frame.
  if (out.size() >= buffer_.size()) return ReadExact(fd_, out, deadline);
  while (!out.empty()) {
    std::size_t count = 0;
    if (IoStatus status = ReadSome(fd_, buffer_, deadline, count); status != IoStatus::Ok)
      return status;
    const std::size_t taken = std::min(count, out.size());
    std::copy_n(buffer_.begin(), taken, out.begin());
    begin_ = taken;
    end_ = count;
    out = out.subspan(taken);
  }
  return IoStatus::Ok;
}

}  // namespace kqa::ioctl
