#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kqa::ioctl::wire {

// The framing of the device interface on a Unix stream socket (see
// platform/ioctl/README.md). Every message is a 20-byte header of five
// little-endian u32 words, {magic, type, arg0, arg1, arg2}, followed by a
// payload whose length the header fixes. A client sends a request; the server
// answers it with a reply of the same type before reading the next one.

inline constexpr std::uint32_t kMagic = 0x3141514B;  // "KQA1": protocol version 1
inline constexpr std::size_t kHeaderSize = 20;

enum class MessageType : std::uint32_t {
  Describe = 1,  // request: nothing. reply: arg0 flags, arg1 text length; text
  Open = 2,      // request: arg0 instance, arg1 class length; class. reply: arg0 failure,
                 //   arg1 error, arg2 path length; path
  Control = 3,   // request: arg0 code, arg1 input length, arg2 output length; input.
                 //   reply: arg0 error, arg1 bytes returned, arg2 bytes carried; output
  Status = 4,    // request: nothing. reply: arg0 flags, arg1 payload length; the server's
                 //   status (socket_status.h)
  Sequence = 5,  // request: arg0 1 to hold the server's sequence gate, 0 to release it.
                 //   reply: arg0 error (ERROR_BUSY: not had in time)
};

// Hard limits, checked by both sides before anything is allocated. The
// largest legitimate output is a full capture-ring read (1000 records of
// 5120 bytes); the largest input a 64 KB packet or flash block with its
// header.
inline constexpr std::uint32_t kMaxOutputBytes = 5'120'000;
inline constexpr std::uint32_t kMaxInputBytes = 64 * 1024 + 64;
inline constexpr std::uint32_t kMaxClassBytes = 256;
inline constexpr std::uint32_t kMaxTextBytes = 4096;  // device description, instance path
inline constexpr std::uint32_t kMaxStatusBytes = 64 * 1024;  // a status reply's payload

inline constexpr std::uint32_t kDescribeFlagEmulated = 1u << 0;

struct Header {
  std::uint32_t magic = kMagic;
  MessageType type = MessageType::Describe;
  std::uint32_t arg0 = 0;
  std::uint32_t arg1 = 0;
  std::uint32_t arg2 = 0;
};

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;

HeaderBytes EncodeHeader(const Header& header);
Header DecodeHeader(std::span<const std::uint8_t, kHeaderSize> bytes);

// How many payload bytes follow a request header, or nothing when the header
// breaks the protocol (wrong magic, unknown type, a length over its limit, a
// reserved word that is not zero). A server drops such a connection.
std::optional<std::uint32_t> RequestPayloadLength(const Header& request);

// The same check for a reply to `request` (a client drops the connection on
// a reply it did not ask for or that carries more than it asked for).
std::optional<std::uint32_t> ReplyPayloadLength(const Header& request, const Header& reply);

}  // namespace kqa::ioctl::wire
