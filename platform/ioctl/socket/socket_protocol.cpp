#include "platform/ioctl/socket/socket_protocol.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"

namespace kqa::ioctl::wire {

HeaderBytes EncodeHeader(const Header& header) {
  HeaderBytes bytes{};
  PutLe32(bytes, 0, header.magic);
  PutLe32(bytes, 4, static_cast<std::uint32_t>(header.type));
  PutLe32(bytes, 8, header.arg0);
  PutLe32(bytes, 12, header.arg1);
  PutLe32(bytes, 16, header.arg2);
  return bytes;
}

Header DecodeHeader(std::span<const std::uint8_t, kHeaderSize> bytes) {
  Header header;
  header.magic = GetLe32(bytes, 0);
  header.type = static_cast<MessageType>(GetLe32(bytes, 4));
  header.arg0 = GetLe32(bytes, 8);
  header.arg1 = GetLe32(bytes, 12);
  header.arg2 = GetLe32(bytes, 16);
  return header;
}

std::optional<std::uint32_t> RequestPayloadLength(const Header& request) {
  if (request.magic != kMagic) return std::nullopt;
  switch (request.type) {
    case MessageType::Describe:
    case MessageType::Status:
      if (request.arg0 != 0 || request.arg1 != 0 || request.arg2 != 0) return std::nullopt;
      return 0;
    case MessageType::Open:
      if (request.arg1 == 0 || request.arg1 > kMaxClassBytes || request.arg2 != 0)
        return std::nullopt;
      return request.arg1;
    case MessageType::Control:
      if (request.arg1 > kMaxInputBytes || request.arg2 > kMaxOutputBytes) return std::nullopt;
      return request.arg1;
    case MessageType::Sequence:
      if (request.arg0 > 1 || request.arg1 != 0 || request.arg2 != 0) return std::nullopt;
      return 0;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ReplyPayloadLength(const Header& request, const Header& reply) {
  if (reply.magic != kMagic || reply.type != request.type) return std::nullopt;
  switch (reply.type) {
    case MessageType::Describe:
      if (reply.arg1 > kMaxTextBytes || reply.arg2 != 0) return std::nullopt;
      return reply.arg1;
    case MessageType::Open:
      if (reply.arg2 > kMaxTextBytes) return std::nullopt;
      return reply.arg2;
    case MessageType::Control:
      // The server carries exactly min(bytes returned, output length) bytes.
      if (reply.arg2 != std::min(reply.arg1, request.arg2)) return std::nullopt;
      return reply.arg2;
    case MessageType::Status:
      if (reply.arg1 > kMaxStatusBytes || reply.arg2 != 0) return std::nullopt;
      return reply.arg1;
    case MessageType::Sequence:
      if (reply.arg1 != 0 || reply.arg2 != 0) return std::nullopt;
      return 0;
  }
  return std::nullopt;
}

}  // namespace kqa::ioctl::wire
