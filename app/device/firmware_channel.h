#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "app/device/device_context.h"

namespace kqa::device {

inline constexpr std::size_t kQaCmdPacketSize = 132;
inline constexpr std::size_t kQaCmdMaxPayload = 128;
inline constexpr int kQaCmdResponsePolls = 200;

using QaCmdPacket = std::array<std::uint8_t, kQaCmdPacketSize>;

// The firmware command channel and the firmware queries. Failures show
// their message through the prompt; the results say whether the control
// code succeeded. UI thread only.

// Sends a command packet (0x22368C). Uses the open connection as it is,
// without opening one (error 6 when there is none).
bool SendQACmd(DeviceContext& device, std::span<const std::uint8_t> packet);
// Fetches the response to the last command (0x223690) into `buffer`;
// `bytesReturned` is 0 while it has not arrived.
bool ReceiveQACmdRsp(DeviceContext& device, std::span<std::uint8_t> buffer,
                     std::uint32_t& bytesReturned);
// The driver's firmware mode word (0x223510); mode & 3 == 2 means the
// configuration memory is the eFuse. Untouched when no device can be opened.
bool QueryFirmwareMode(DeviceContext& device, std::uint32_t& mode);
// The firmware version word (0x22349C).
bool GetFirmwareVersion(DeviceContext& device, std::uint32_t& version);
// Hands the 16-word reload request to the driver (0x2234D8).
bool FirmwareReload(DeviceContext& device, std::span<const std::uint32_t, 16> words);

// Header 0x50000000 | (command & 0x7F) << 20 | (sequence & 0xF) << 16 |
// payload length, then the payload, zero-filled to 132 bytes. The payload
// must hold at most 128 bytes.
QaCmdPacket BuildQACmdPacket(std::uint8_t command, std::uint8_t sequence,
                             std::span<const std::uint8_t> payload);

// Takes the context's sequence number for a command and advances it
// (15 wraps to 1; 0 is never produced).
std::uint8_t TakeQACmdSequence(DeviceContext& device);

// One command exchange with the firmware: sends the packet and polls up to
// 200 times, 5 ms apart, for the response carrying its sequence number.
// When reception is off (`rxRunning` clear) it is switched on for the wait
// (MAC 0x1004 bit 3 and control code 0x223660) and off again afterwards, so
// the flag and the register end as they were. `rxRunning` is the TX/RX
// page's flag. Returns 0 when the matching response arrived (copied into
// `response` when given), -1 on time-out, without a device, when the
// payload is longer than 128 bytes, or when sending or polling failed (the
// failure is shown once; the exchange does not keep polling a failed call).
int ExchangeQACmd(DeviceContext& device, bool& rxRunning, std::uint8_t command,
                  std::span<const std::uint8_t> payload, std::span<std::uint8_t> response = {});

}  // namespace kqa::device
