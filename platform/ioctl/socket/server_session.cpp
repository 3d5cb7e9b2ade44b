#include "platform/ioctl/socket/server_session.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/ioctl/socket/socket_io.h"
#include "platform/ioctl/socket/socket_protocol.h"

namespace kqa::ioctl {
namespace {

using OpenFailure = DeviceInterfaceProvider::OpenFailure;

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string_view Clip(std::string_view text) {
  return text.substr(0, std::min<std::size_t>(text.size(), wire::kMaxTextBytes));
}

class Session {
 public:
  Session(int fd, const SessionContext& context) : fd_(fd), context_(context), reader_(fd) {}

  ~Session() {  // the handle is closed before the socket is shut down
    context_.gate.release(this);
    handle_.reset();
    context_.handleOpen = false;
  }

  // One request and its reply; false ends the connection.
  bool serveOne() {
    if (reader_.waitForData() != IoStatus::Ok) return false;
    // From its first byte on, a frame must arrive in time.
    deadline_ = DeadlineAfter(context_.frameTimeout);
    wire::HeaderBytes bytes{};
    if (reader_.readExact(bytes, deadline_) != IoStatus::Ok) return false;
    const wire::Header request = wire::DecodeHeader(bytes);
    const auto payloadLength = wire::RequestPayloadLength(request);
    if (!payloadLength) return false;
    switch (request.type) {
      case wire::MessageType::Describe:
        return describe();
      case wire::MessageType::Open:
        return open(request, *payloadLength);
      case wire::MessageType::Control:
        return control(request);
      case wire::MessageType::Status:
        return status();
      case wire::MessageType::Sequence:
        return sequence(request.arg0 == 1);
    }
    return false;
  }

 private:
  bool reply(const wire::Header& header, std::span<const std::uint8_t> payload) {
    const wire::HeaderBytes bytes = wire::EncodeHeader(header);
    return WriteAll(fd_, {bytes, payload}, DeadlineAfter(context_.frameTimeout)) == IoStatus::Ok;
  }

  bool describe() {
    const std::string_view text = Clip(context_.info.description);
    return reply({.type = wire::MessageType::Describe,
                  .arg0 = context_.info.emulated ? wire::kDescribeFlagEmulated : 0u,
                  .arg1 = static_cast<std::uint32_t>(text.size())},
                 AsBytes(text));
  }

  bool status() {
    const std::vector<std::uint8_t> payload = wire::EncodeStatus(context_.status());
    return reply({.type = wire::MessageType::Status,
                  .arg0 = context_.info.emulated ? wire::kDescribeFlagEmulated : 0u,
                  .arg1 = static_cast<std::uint32_t>(payload.size())},
                 payload);
  }

  bool open(const wire::Header& request, std::uint32_t classLength) {
    std::string interfaceClass(classLength, '\0');
    if (reader_.readExact({reinterpret_cast<std::uint8_t*>(interfaceClass.data()), classLength},
                          deadline_) != IoStatus::Ok)
      return false;
    if (handle_) return false;  // one handle per connection
    DeviceInterfaceProvider::OpenResult result;
    {
      std::lock_guard lock(context_.openMutex);
      result = context_.provider.open(interfaceClass, request.arg0);
    }
    // Keep the answer consistent whatever the provider said: a handle only
    // with success, success only with a handle.
    if (result.failure != OpenFailure::None) result.handle.reset();
    if (result.failure == OpenFailure::None && !result.handle) {
      result.failure = OpenFailure::OpenFailed;
      if (result.error == ERROR_SUCCESS) result.error = ERROR_GEN_FAILURE;
    }
    handle_ = std::move(result.handle);
    context_.handleOpen = handle_ != nullptr;
    const std::string_view path = Clip(result.path);
    return reply({.type = wire::MessageType::Open,
                  .arg0 = static_cast<std::uint32_t>(result.failure),
                  .arg1 = result.error,
                  .arg2 = static_cast<std::uint32_t>(path.size())},
                 AsBytes(path));
  }

  bool sequence(bool hold) {
    Win32Error error = ERROR_SUCCESS;
    if (!hold)
      context_.gate.release(this);
    else if (!context_.gate.hold(this))
      error = ERROR_BUSY;
    return reply({.type = wire::MessageType::Sequence, .arg0 = error}, {});
  }

  bool control(const wire::Header& request) {
    if (!handle_) return false;  // a call before a successful open
    input_.resize(request.arg1);
    if (reader_.readExact(input_, deadline_) != IoStatus::Ok) return false;
    // A fresh, zeroed buffer each call: nothing of an earlier call can leak.
    std::vector<std::uint8_t> output(request.arg2);
    // Another connection's sequence goes first; one never released fails
    // this call rather than hanging it.
    if (!context_.gate.enterCall(this))
      return reply({.type = wire::MessageType::Control, .arg0 = ERROR_BUSY}, {});
    const ControlResult result = handle_->control(request.arg0, input_, output);
    context_.gate.leaveCall();
    const std::uint32_t carried = std::min(result.bytesReturned, request.arg2);
    return reply({.type = wire::MessageType::Control,
                  .arg0 = result.error,
                  .arg1 = result.bytesReturned,
                  .arg2 = carried},
                 std::span<const std::uint8_t>(output).first(carried));
  }

  const int fd_;
  const SessionContext& context_;
  BufferedReader reader_;
  IoDeadline deadline_;
  std::unique_ptr<DeviceHandle> handle_;
  std::vector<std::uint8_t> input_;
};

}  // namespace

void ServeConnection(int fd, const SessionContext& context) {
  try {
    Session session(fd, context);
    while (session.serveOne()) {
    }
  } catch (...) {
    // An allocation failure or a throwing provider ends this connection
    // only; the session's destructor has closed its handle.
  }
}

}  // namespace kqa::ioctl
