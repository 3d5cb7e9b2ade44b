#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kqa::ioctl {

// Owns a file descriptor; closes it on destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Socket I/O gives up at a deadline in real time; no deadline waits for as
// long as it takes. These are waits on a peer process, never on the chip.
using IoDeadline = std::optional<std::chrono::steady_clock::time_point>;

IoDeadline DeadlineAfter(std::chrono::milliseconds timeout);

enum class IoStatus {
  Ok,
  Closed,    // the peer closed or reset the connection
  TimedOut,  // the deadline passed first
  Failed,    // any other error of the socket
};

// Reads exactly out.size() bytes, however the peer splits them.
IoStatus ReadExact(int fd, std::span<std::uint8_t> out, IoDeadline deadline);

// Reads what is there, at least one byte; returns the count (0 with a status
// other than Ok).
IoStatus ReadSome(int fd, std::span<std::uint8_t> out, IoDeadline deadline, std::size_t& count);

// Writes every byte of the pieces in order, however the peer drains them.
// Never raises SIGPIPE: a vanished peer is Closed.
IoStatus WriteAll(int fd, std::initializer_list<std::span<const std::uint8_t>> pieces,
                  IoDeadline deadline);

// Waits until the peer closes its end, discarding anything it still sends.
IoStatus WaitForClose(int fd, IoDeadline deadline);

// A connected stream socket, or the errno of the failure.
struct ConnectResult {
  UniqueFd fd;
  int error = 0;
};
ConnectResult ConnectUnixSocket(const std::string& path);

// The longest path a Unix socket address holds (without its terminating NUL).
std::size_t MaxUnixSocketPathLength();

// Reads from a socket through a buffer, so that a small frame costs one
// system call rather than one per field.
class BufferedReader {
 public:
  explicit BufferedReader(int fd, std::size_t capacity = 64 * 1024);

  // Waits, without limit, until at least one byte is available.
  IoStatus waitForData();
  IoStatus readExact(std::span<std::uint8_t> out, IoDeadline deadline);

 private:
  int fd_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace kqa::ioctl
