#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kqa::ioctl {

// One connection of a socket server, as the server saw it arrive.
struct SocketClientInfo {
  std::uint32_t pid = 0;  // 0 when the system did not say
  std::uint32_t uid = 0;
  std::string program{};      // e.g. "kestrelqa-cli"
  std::string commandLine{};  // its arguments, separated by blanks
  std::uint32_t connectedSeconds = 0;
  bool handleOpen = false;  // it holds an open handle on the device
  bool asking = false;      // it is the connection that asked for this status
};

// What a server says about itself: its device, how long it has served, who
// is connected.
struct SocketServerStatus {
  std::string description{};  // the device, as Describe gives it
  bool emulated = false;
  std::string deviceState{};  // what the server's owner says of the device, e.g. "open"
  std::uint32_t uptimeSeconds = 0;
  std::vector<SocketClientInfo> clients{};
};

namespace wire {

// The payload of a Status reply, little-endian:
//   u32 uptime seconds, u32 flags (bit 0 emulated), text description, text device state,
//   u32 client count, then per client: u32 pid, u32 uid, u32 connected seconds,
//   u32 flags (bit 0 handle open, bit 1 asking), text program, text command line
// where text is a u16 byte count and the bytes. Texts longer than their limit
// are cut; clients that would take the payload past kMaxStatusBytes are left out.
inline constexpr std::size_t kMaxStateBytes = 1024;
inline constexpr std::size_t kMaxProgramBytes = 256;
inline constexpr std::size_t kMaxCommandLineBytes = 1024;

std::vector<std::uint8_t> EncodeStatus(const SocketServerStatus& status);
// False when the payload is not a whole status (short, or with bytes left over).
bool DecodeStatus(std::span<const std::uint8_t> payload, SocketServerStatus& status);

}  // namespace wire
}  // namespace kqa::ioctl
