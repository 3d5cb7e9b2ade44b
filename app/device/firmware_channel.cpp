#include "app/device/firmware_channel.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "app/device/connection.h"
#include "app/device/messages.h"
#include "app/device/register_access.h"
#include "platform/bytes/little_endian.h"
#include "platform/clock/polling.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using namespace kqa::ioctl;
using namespace std::chrono_literals;

constexpr std::uint32_t kMacSysControl = 0x1004;
constexpr std::uint32_t kRxEnableBit = 0x8;

// The two firmware channel codes use the connection as it stands: no
// connection is reported like a call on a null handle.
ioctl::ControlResult CallAsOpen(DeviceContext& device, std::uint32_t code,
                                std::span<const std::uint8_t> input,
                                std::span<std::uint8_t> output) {
  const std::shared_ptr<ioctl::DeviceHandle> handle = device.hDevice.get();
  if (!handle) return {ERROR_INVALID_HANDLE, 0};
  const ioctl::ControlResult result = handle->control(code, input, output);
  if (result.error == ERROR_DEVICE_NOT_CONNECTED) device.hDevice.resetIfHolding(handle.get());
  return result;
}

bool QueryWord(DeviceContext& device, std::uint32_t code, std::uint32_t& word,
               std::string (*failure)(Win32Error)) {
  std::array<std::uint8_t, 4> output{};
  const auto result = CallOpenDevice(device, code, {}, output);
  if (!result) return false;
  if (!result->succeeded()) {
    device.prompt.showMessage(failure(result->error));
    return false;
  }
  word = GetLe32(output, 0);
  return true;
}

void SetReception(DeviceContext& device, bool on) {
  RegisterAccess registers(device);
  std::uint32_t control = 0;
  registers.ReadMacRegister(kMacSysControl, control);
  registers.WriteMacRegister(kMacSysControl, on ? control | kRxEnableBit : control & ~kRxEnableBit);
  if (on) {
    const std::array<std::uint8_t, 2> endless{};  // 0 transfers: until stopped
    CallDevice(device, VQ_OID_USB_RX0_START, endless, {});
  } else {
    CallDevice(device, VQ_OID_USB_RX0_STOP, {}, {});
  }
}

}  // namespace

bool SendQACmd(DeviceContext& device, std::span<const std::uint8_t> packet) {
  const ioctl::ControlResult result = CallAsOpen(device, VQ_OID_USB_SEND_QA_CMD, packet, {});
  if (!result.succeeded()) {
    device.prompt.showMessage(messages::SendQACmdFailed(result.error));
    return false;
  }
  return true;
}

bool ReceiveQACmdRsp(DeviceContext& device, std::span<std::uint8_t> buffer,
                     std::uint32_t& bytesReturned) {
  const ioctl::ControlResult result =
      CallAsOpen(device, VQ_OID_USB_RECEIVE_QA_CMD_RSP, {}, buffer);
  if (!result.succeeded()) {
    device.prompt.showMessage(messages::ReceiveQACmdRspFailed(result.error));
    return false;
  }
  bytesReturned = result.bytesReturned;
  return true;
}

bool QueryFirmwareMode(DeviceContext& device, std::uint32_t& mode) {
  return QueryWord(device, VQ_OID_USB_QUERY_FIRMWARE_MODE, mode, messages::QueryFirmwareModeFailed);
}

bool GetFirmwareVersion(DeviceContext& device, std::uint32_t& version) {
  return QueryWord(device, VQ_OID_USB_GET_FIRMWARE_VERSION, version,
                   messages::GetFirmwareVersionFailed);
}

bool FirmwareReload(DeviceContext& device, std::span<const std::uint32_t, 16> words) {
  std::array<std::uint8_t, 64> input{};
  for (std::size_t i = 0; i < words.size(); ++i)
    for (int b = 0; b < 4; ++b) input[4 * i + b] = static_cast<std::uint8_t>(words[i] >> (8 * b));
  // The driver hands the 64 bytes back; offer room for them.
  std::array<std::uint8_t, 64> output{};
  const auto result = CallOpenDevice(device, VQ_OID_USB_FIRMWARE_RELOAD, input, output);
  if (!result) return false;
  if (!result->succeeded()) {
    device.prompt.showMessage(messages::kFirmwareReloadFailed);
    return false;
  }
  return true;
}

QaCmdPacket BuildQACmdPacket(std::uint8_t command, std::uint8_t sequence,
                             std::span<const std::uint8_t> payload) {
  QaCmdPacket packet{};
  const std::size_t length = std::min(payload.size(), kQaCmdMaxPayload);
  const std::uint32_t header = 0x50000000u | static_cast<std::uint32_t>(command & 0x7F) << 20 |
                               static_cast<std::uint32_t>(sequence & 0xF) << 16 |
                               static_cast<std::uint32_t>(length);
  for (int b = 0; b < 4; ++b) packet[b] = static_cast<std::uint8_t>(header >> (8 * b));
  if (length > 0) std::memcpy(&packet[4], payload.data(), length);
  return packet;
}

std::uint8_t TakeQACmdSequence(DeviceContext& device) {
  const std::uint8_t sequence = device.qaCmdSequence;
  device.qaCmdSequence = sequence >= 15 ? 1 : static_cast<std::uint8_t>(sequence + 1);
  return sequence;
}

int ExchangeQACmd(DeviceContext& device, bool& rxRunning, std::uint8_t command,
                  std::span<const std::uint8_t> payload, std::span<std::uint8_t> response) {
  if (payload.size() > kQaCmdMaxPayload) return -1;
  if (!EnsureDeviceOpen(device)) return -1;

  const std::uint8_t sequence = TakeQACmdSequence(device);
  const QaCmdPacket packet = BuildQACmdPacket(command, sequence, payload);

  const bool enabledReception = !rxRunning;
  if (enabledReception) {
    rxRunning = true;
    SetReception(device, true);
  }

  device.clock.sleep(1ms);
  bool matched = false;
  if (SendQACmd(device, packet)) {
    device.clock.sleep(1ms);
    // Cleared first, so that only an answer of this exchange can match.
    QaCmdPacket answer{};
    bool failed = false;
    matched = PollUntil(device.clock, kQaCmdResponsePolls, 5ms, [&] {
                std::uint32_t bytes = 0;
                if (!ReceiveQACmdRsp(device, answer, bytes)) {
                  failed = true;
                  return true;
                }
                return ((answer[2] & 0x0F) == sequence);
              }).satisfied &&
              !failed;
    if (matched && !response.empty())
      std::memcpy(response.data(), answer.data(), std::min(response.size(), answer.size()));
  }

  if (enabledReception) {
    rxRunning = false;
    SetReception(device, false);
  }
  return matched ? 0 : -1;
}

}  // namespace kqa::device
