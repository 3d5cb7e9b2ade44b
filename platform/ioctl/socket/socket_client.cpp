#include "platform/ioctl/socket/socket_client.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/ioctl/socket/socket_io.h"
#include "platform/ioctl/socket/socket_protocol.h"

namespace kqa::ioctl {
namespace {

using OpenFailure = DeviceInterfaceProvider::OpenFailure;

// How long a closing handle waits for the server to close its side.
constexpr std::chrono::milliseconds kCloseTimeout{10'000};

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Sends one request and reads the header of its reply. False when the
// connection failed or the reply does not answer the request.
bool Exchange(int fd, const wire::Header& request, std::span<const std::uint8_t> payload,
              wire::Header& reply, std::uint32_t& replyPayloadLength) {
  const wire::HeaderBytes requestBytes = wire::EncodeHeader(request);
  if (WriteAll(fd, {requestBytes, payload}, std::nullopt) != IoStatus::Ok) return false;
  wire::HeaderBytes replyBytes{};
  if (ReadExact(fd, replyBytes, std::nullopt) != IoStatus::Ok) return false;
  reply = wire::DecodeHeader(replyBytes);
  const auto length = wire::ReplyPayloadLength(request, reply);
  if (!length) return false;
  replyPayloadLength = *length;
  return true;
}

bool ReadText(int fd, std::uint32_t length, std::string& text) {
  text.assign(length, '\0');
  return ReadExact(fd, {reinterpret_cast<std::uint8_t*>(text.data()), text.size()},
                   std::nullopt) == IoStatus::Ok;
}

std::string ConnectFailureText(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
    case ECONNREFUSED:
      return "no kestrelqa-usbd is listening at " + path;
    case EACCES:
    case EPERM:
      return "permission denied on " + path +
             " (the daemon lets in only its owner and its group)";
    case ENAMETOOLONG:
      return "socket path too long (at most " + std::to_string(MaxUnixSocketPathLength()) +
             " bytes): " + path;
    default:
      return path + ": " + std::strerror(error);
  }
}

// Connects to `path`, sends a request of `type` without payload and reads
// the reply and its payload. False, with `error` set, when nobody can be
// reached there; false with `error` empty when the answer is not a reply to
// the request.
bool AskServer(const std::string& path, wire::MessageType type, wire::Header& reply,
               std::vector<std::uint8_t>& payload, std::string& error) {
  error.clear();
  const ConnectResult connection = ConnectUnixSocket(path);
  if (!connection.fd.valid()) {
    error = ConnectFailureText(path, connection.error);
    return false;
  }
  std::uint32_t length = 0;
  if (!Exchange(connection.fd.get(), {.type = type}, {}, reply, length)) return false;
  payload.resize(length);
  return ReadExact(connection.fd.get(), payload, std::nullopt) == IoStatus::Ok;
}

class SocketDeviceHandle final : public DeviceHandle {
 public:
  explicit SocketDeviceHandle(UniqueFd fd) : fd_(std::move(fd)) {}

  ~SocketDeviceHandle() override {
    if (!fd_.valid()) return;
    // Tell the server we are done and wait until it has closed our handle on
    // its device, so that closing here is as final as an in-process close.
    ::shutdown(fd_.get(), SHUT_WR);
    WaitForClose(fd_.get(), DeadlineAfter(kCloseTimeout));
  }

  ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                        std::span<std::uint8_t> output) override {
    if (input.size() > wire::kMaxInputBytes) return {ERROR_INVALID_PARAMETER, 0};
    // No code returns more than the largest capture read; offering more
    // changes nothing but the size of the server's buffer.
    output = output.first(std::min<std::size_t>(output.size(), wire::kMaxOutputBytes));

    std::lock_guard lock(mutex_);
    if (!fd_.valid()) return {ERROR_DEVICE_NOT_CONNECTED, 0};
    wire::Header request{.type = wire::MessageType::Control,
                         .arg0 = code,
                         .arg1 = static_cast<std::uint32_t>(input.size()),
                         .arg2 = static_cast<std::uint32_t>(output.size())};
    wire::Header reply;
    std::uint32_t carried = 0;
    if (!Exchange(fd_.get(), request, input, reply, carried) ||
        ReadExact(fd_.get(), output.first(carried), std::nullopt) != IoStatus::Ok) {
      // Whatever broke, the handle is gone: the caller closes and re-opens.
      fd_.reset();
      return {ERROR_DEVICE_NOT_CONNECTED, 0};
    }
    return {reply.arg0, reply.arg1};
  }

  // The server's sequence gate: other connections' calls wait while it is
  // held (server_session.cpp).
  bool beginSequence() override { return sendSequence(true); }
  void endSequence() override { sendSequence(false); }

 private:
  bool sendSequence(bool hold) {
    std::lock_guard lock(mutex_);
    if (!fd_.valid()) return false;
    wire::Header reply;
    std::uint32_t length = 0;
    if (!Exchange(fd_.get(), {.type = wire::MessageType::Sequence, .arg0 = hold ? 1u : 0u}, {}, reply, length)) {
      fd_.reset();
      return false;
    }
    return reply.arg0 == ERROR_SUCCESS;
  }

  std::mutex mutex_;  // one call at a time on the connection
  UniqueFd fd_;       // closed once the connection is lost
};

}  // namespace

bool DescribeSocketServer(const std::string& path, SocketServerInfo& info, std::string& error) {
  wire::Header reply;
  std::vector<std::uint8_t> text;
  if (!AskServer(path, wire::MessageType::Describe, reply, text, error)) {
    if (error.empty()) error = "the server at " + path + " does not answer as kestrelqa-usbd";
    return false;
  }
  info.description.assign(text.begin(), text.end());
  info.emulated = (reply.arg0 & wire::kDescribeFlagEmulated) != 0;
  return true;
}

bool QuerySocketServerStatus(const std::string& path, SocketServerStatus& status, std::string& error) {
  wire::Header reply;
  std::vector<std::uint8_t> payload;
  if (AskServer(path, wire::MessageType::Status, reply, payload, error) && wire::DecodeStatus(payload, status))
    return true;
  if (error.empty())
    error = "the server at " + path + " does not report its status (not kestrelqa-usbd, or an older one)";
  return false;
}

DeviceInterfaceProvider::OpenResult SocketDeviceInterfaceProvider::open(
    std::string_view interfaceClass, std::uint32_t instance) {
  OpenResult result;
  result.path = path_;
  if (interfaceClass.empty() || interfaceClass.size() > wire::kMaxClassBytes) {
    result.failure = OpenFailure::UnknownClass;
    result.error = ERROR_FILE_NOT_FOUND;
    return result;
  }
  ConnectResult connection = ConnectUnixSocket(path_);
  if (!connection.fd.valid()) {
    const bool denied = connection.error == EACCES || connection.error == EPERM;
    result.failure = denied ? OpenFailure::OpenFailed : OpenFailure::NoInstance;
    result.error = denied ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return result;
  }
  const int fd = connection.fd.get();
  const wire::Header request{.type = wire::MessageType::Open,
                             .arg0 = instance,
                             .arg1 = static_cast<std::uint32_t>(interfaceClass.size())};
  wire::Header reply;
  std::uint32_t length = 0;
  std::string path;
  if (!Exchange(fd, request, AsBytes(interfaceClass), reply, length) ||
      !ReadText(fd, length, path) || reply.arg0 > static_cast<std::uint32_t>(OpenFailure::OpenFailed)) {
    result.failure = OpenFailure::OpenFailed;
    result.error = ERROR_DEVICE_NOT_CONNECTED;
    return result;
  }
  result.failure = static_cast<OpenFailure>(reply.arg0);
  result.error = reply.arg1;
  result.path = std::move(path);
  if (result.failure == OpenFailure::None)
    result.handle = std::make_unique<SocketDeviceHandle>(std::move(connection.fd));
  return result;
}

}  // namespace kqa::ioctl
