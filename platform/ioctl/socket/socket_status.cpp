#include "platform/ioctl/socket/socket_status.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"
#include "platform/ioctl/socket/socket_protocol.h"

namespace kqa::ioctl::wire {
namespace {

constexpr std::uint32_t kFlagEmulated = 1u << 0;
constexpr std::uint32_t kFlagHandleOpen = 1u << 0;
constexpr std::uint32_t kFlagAsking = 1u << 1;

class Writer {
 public:
  void u32(std::uint32_t value) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 4);
    PutLe32(bytes, at, value);
  }
  void text(const std::string& value, std::size_t limit) {
    const std::size_t length = std::min(value.size(), limit);
    const std::size_t at = bytes.size();
    bytes.resize(at + 2);
    PutLe16(bytes, at, static_cast<std::uint16_t>(length));
    bytes.insert(bytes.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length));
  }
  std::vector<std::uint8_t> bytes;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool u32(std::uint32_t& value) {
    if (bytes_.size() - at_ < 4) return false;
    value = GetLe32(bytes_, at_);
    at_ += 4;
    return true;
  }
  bool text(std::string& value) {
    if (bytes_.size() - at_ < 2) return false;
    const std::size_t length = GetLe16(bytes_, at_);
    at_ += 2;
    if (bytes_.size() - at_ < length) return false;
    value.assign(reinterpret_cast<const char*>(bytes_.data() + at_), length);
    at_ += length;
    return true;
  }
  bool atEnd() const { return at_ == bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

std::vector<std::uint8_t> EncodeClient(const SocketClientInfo& client) {
  Writer out;
  out.u32(client.pid);
  out.u32(client.uid);
  out.u32(client.connectedSeconds);
  out.u32((client.handleOpen ? kFlagHandleOpen : 0u) | (client.asking ? kFlagAsking : 0u));
  out.text(client.program, kMaxProgramBytes);
  out.text(client.commandLine, kMaxCommandLineBytes);
  return std::move(out.bytes);
}

}  // namespace

std::vector<std::uint8_t> EncodeStatus(const SocketServerStatus& status) {
  Writer out;
  out.u32(status.uptimeSeconds);
  out.u32(status.emulated ? kFlagEmulated : 0u);
  out.text(status.description, kMaxTextBytes);
  out.text(status.deviceState, kMaxStateBytes);
  std::vector<std::uint8_t> clients;
  std::uint32_t count = 0;
  for (const SocketClientInfo& client : status.clients) {
    const std::vector<std::uint8_t> entry = EncodeClient(client);
    if (out.bytes.size() + 4 + clients.size() + entry.size() > kMaxStatusBytes) break;
    clients.insert(clients.end(), entry.begin(), entry.end());
    ++count;
  }
  out.u32(count);
  out.bytes.insert(out.bytes.end(), clients.begin(), clients.end());
  return std::move(out.bytes);
}

bool DecodeStatus(std::span<const std::uint8_t> payload, SocketServerStatus& status) {
  Reader in(payload);
  SocketServerStatus decoded;
  std::uint32_t flags = 0;
  std::uint32_t count = 0;
  if (!in.u32(decoded.uptimeSeconds) || !in.u32(flags) || !in.text(decoded.description) ||
      !in.text(decoded.deviceState) || !in.u32(count))
    return false;
  decoded.emulated = (flags & kFlagEmulated) != 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    SocketClientInfo client;
    std::uint32_t clientFlags = 0;
    if (!in.u32(client.pid) || !in.u32(client.uid) || !in.u32(client.connectedSeconds) ||
        !in.u32(clientFlags) || !in.text(client.program) || !in.text(client.commandLine))
      return false;
    client.handleOpen = (clientFlags & kFlagHandleOpen) != 0;
    client.asking = (clientFlags & kFlagAsking) != 0;
    decoded.clients.push_back(std::move(client));
  }
  if (!in.atEnd()) return false;
  status = std::move(decoded);
  return true;
}

}  // namespace kqa::ioctl::wire
