// Fuzz target for the server side of the socket framing. Each input is what
// one client sends on one connection before it closes its sending side.
// The server must answer every well-formed request exactly as the device
// would answer it in-process, hang up at the first bad or unfinished frame,
// close that client's handle, and keep serving a second client that stays
// connected throughout. Anything else aborts the run.

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/socket_io.h"
#include "platform/ioctl/socket/socket_listener.h"
#include "platform/ioctl/socket/socket_protocol.h"
#include "platform/ioctl/socket/socket_server.h"
#include "platform/ioctl/socket/socket_status.h"
#include "platform/ioctl/testing/fake_device_provider.h"

namespace kqa::ioctl {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::FakeDeviceProvider;

constexpr const char* kDescription = "fuzzed Kestrel";
constexpr int kHangLimitMs = 10'000;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "socket framing fuzz: %s\n", what);
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// One request the server must answer, taken from the client's bytes by the
// rules of the protocol.
struct Expected {
  wire::Header request;
  Bytes payload;
};

// The requests a conforming server answers before it hangs up: the frames up
// to the first one that breaks the protocol or is cut off by the end.
std::deque<Expected> AnsweredRequests(const std::uint8_t* data, std::size_t size) {
  std::deque<Expected> answered;
  bool opened = false;
  std::size_t at = 0;
  while (size - at >= wire::kHeaderSize) {
    const wire::Header request =
        wire::DecodeHeader(std::span<const std::uint8_t, wire::kHeaderSize>(data + at, wire::kHeaderSize));
    const auto length = wire::RequestPayloadLength(request);
    if (!length || size - at - wire::kHeaderSize < *length) break;
    if (request.type == wire::MessageType::Open && opened) break;
    if (request.type == wire::MessageType::Control && !opened) break;
    const std::uint8_t* payload = data + at + wire::kHeaderSize;
    answered.push_back({request, Bytes(payload, payload + *length)});
    if (request.type == wire::MessageType::Open)
      opened = request.arg0 == 0 &&
               std::string_view(reinterpret_cast<const char*>(payload), *length) == kQaInterfaceClass;
    at += wire::kHeaderSize + *length;
  }
  return answered;
}

class Harness {
 public:
  Harness() : server_fake_(1000), oracle_fake_(1000) {
    std::string folder = (std::filesystem::temp_directory_path() / "kqa-fuzz-XXXXXX").string();
    Check(::mkdtemp(folder.data()) != nullptr, "mkdtemp failed");
    folder_ = folder;
    path_ = folder + "/usbd.sock";
    std::string error;
    listener_ = UnixSocketListener::Claim(path_, {}, error);
    Check(listener_ != nullptr, "cannot listen");
    server_ = std::make_unique<SocketServer>(server_fake_, SocketServerInfo{kDescription, true},
                                             listener_->takeSocket(),
                                             SocketServerOptions{.frameTimeout = std::chrono::seconds(2)});
    SocketDeviceInterfaceProvider client(path_);
    bystander_ = client.open(kQaInterfaceClass, 0).handle;
    Check(bystander_ != nullptr, "the bystander cannot open");
    oracle_ = oracle_fake_.open(kQaInterfaceClass, 0).handle;
  }

  ~Harness() {
    bystander_.reset();
    server_.reset();
    listener_.reset();
    oracle_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void run(const std::uint8_t* data, std::size_t size) {
    expected_ = AnsweredRequests(data, size);
    received_.clear();
    consumed_ = 0;
    exchange(data, size);
    Check(expected_.empty(), "a well-formed request went unanswered");
    Check(consumed_ == received_.size(), "bytes after the last reply");
    // The server closed this client's handle before hanging up.
    Check(server_fake_.openHandles() == 1, "the client's handle outlived its connection");
    checkBystander();
  }

 private:
  // Sends the input while reading the replies (a reply can be megabytes
  // long), then closes the sending side and reads until the server hangs up.
  void exchange(const std::uint8_t* data, std::size_t size) {
    UniqueFd fd = ConnectUnixSocket(path_).fd;
    Check(fd.valid(), "cannot connect");
    std::size_t written = 0;
    bool sendingClosed = false;
    std::vector<std::uint8_t> chunk(1 << 16);
    for (;;) {
      if (written == size && !sendingClosed) {
        ::shutdown(fd.get(), SHUT_WR);
        sendingClosed = true;
      }
      pollfd entry{fd.get(), static_cast<short>(POLLIN | (sendingClosed ? 0 : POLLOUT)), 0};
      const int ready = ::poll(&entry, 1, kHangLimitMs);
      Check(ready != 0, "the server hung");
      if (ready < 0) continue;
      if (!sendingClosed && (entry.revents & POLLOUT)) {
        const ssize_t n = ::send(fd.get(), data + written, size - written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) written += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR) written = size;  // hung up on us
      }
      if (entry.revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = ::recv(fd.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
        if (n > 0) {
          received_.insert(received_.end(), chunk.begin(), chunk.begin() + n);
          checkReplies();
        }
      }
    }
  }

  // Checks every complete reply received so far against the next expected one.
  void checkReplies() {
    for (;;) {
      const std::size_t available = received_.size() - consumed_;
      if (available < wire::kHeaderSize) break;
      Check(!expected_.empty(), "a reply nobody asked for");
      const Expected& next = expected_.front();
      const wire::Header reply = wire::DecodeHeader(
          std::span<const std::uint8_t, wire::kHeaderSize>(&received_[consumed_], wire::kHeaderSize));
      const auto length = wire::ReplyPayloadLength(next.request, reply);
      Check(length.has_value(), "a malformed reply");
      if (available - wire::kHeaderSize < *length) break;
      const std::uint8_t* payload = &received_[consumed_ + wire::kHeaderSize];
      checkReply(next, reply, std::span<const std::uint8_t>(payload, *length));
      consumed_ += wire::kHeaderSize + *length;
      expected_.pop_front();
    }
    // Keep the buffer small across long runs of large replies.
    if (consumed_ > (1u << 20)) {
      received_.erase(received_.begin(), received_.begin() + static_cast<long>(consumed_));
      consumed_ = 0;
    }
  }

  void checkReply(const Expected& expected, const wire::Header& reply,
                  std::span<const std::uint8_t> payload) {
    switch (expected.request.type) {
      case wire::MessageType::Describe:
        Check(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()) ==
                  kDescription,
              "wrong description");
        break;
      case wire::MessageType::Open: {
        const std::string_view interfaceClass(reinterpret_cast<const char*>(expected.payload.data()),
                                              expected.payload.size());
        const auto direct = oracle_fake_.open(interfaceClass, expected.request.arg0);
        Check(reply.arg0 == static_cast<std::uint32_t>(direct.failure) && reply.arg1 == direct.error &&
                  std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()) ==
                      direct.path,
              "an open answered differently than in-process");
        break;
      }
      case wire::MessageType::Control: {
        Bytes output(expected.request.arg2);
        const ControlResult direct = oracle_->control(expected.request.arg0, expected.payload, output);
        Check(reply.arg0 == direct.error && reply.arg1 == direct.bytesReturned,
              "a call answered differently than in-process");
        Check(std::equal(payload.begin(), payload.end(), output.begin()),
              "output bytes differ from the in-process call");
        break;
      }
      case wire::MessageType::Status: {
        // This connection and the bystander, at least; exactly one asking.
        SocketServerStatus status;
        Check(wire::DecodeStatus(payload, status) && status.description == kDescription &&
                  status.clients.size() >= 2 &&
                  std::count_if(status.clients.begin(), status.clients.end(),
                                [](const SocketClientInfo& c) { return c.asking; }) == 1,
              "a status that does not describe this server and its clients");
        break;
      }
      case wire::MessageType::Sequence:
        // The bystander never holds the gate, so holding it always succeeds.
        Check(reply.arg0 == ERROR_SUCCESS, "the sequence gate refused with nobody holding it");
        break;
    }
  }

  void checkBystander() {
    std::uint8_t input[20] = {0x04, 0x10};
    std::uint8_t output[4] = {};
    const ControlResult result = bystander_->control(VQ_OID_USB_VENDOR_MAC_READ, input, output);
    std::uint32_t value;
    std::memcpy(&value, output, 4);
    Check(result.succeeded() && result.bytesReturned == 4 &&
              value == FakeDeviceProvider::MacValue(0x1004),
          "the bystander client is no longer served correctly");
  }

  FakeDeviceProvider server_fake_;  // served on the socket
  FakeDeviceProvider oracle_fake_;  // called directly, for the expected answers
  std::string folder_;
  std::string path_;
  std::unique_ptr<UnixSocketListener> listener_;
  std::unique_ptr<SocketServer> server_;
  std::unique_ptr<DeviceHandle> bystander_;
  std::unique_ptr<DeviceHandle> oracle_;
  std::deque<Expected> expected_;
  Bytes received_;
  std::size_t consumed_ = 0;
};

}  // namespace
}  // namespace kqa::ioctl

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kqa::ioctl::Harness harness;
  harness.run(data, size);
  return 0;
}
