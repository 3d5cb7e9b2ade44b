#include "app/device/pipelines.h"

#include <vector>

#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using namespace kqa::ioctl;

// The bytes of the statistics block the driver fills: nine 64-bit sums and
// six signal words.
constexpr std::uint32_t kFilledStatisticsBytes = 96;

CallResult NotOpen() {
  return {false, ERROR_DEVICE_NOT_CONNECTED, 0};
}

CallResult Call(DeviceContext& device, std::uint32_t code, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output) {
  if (!EnsureDeviceOpen(device)) return NotOpen();
  return CallDevice(device, code, input, output);
}

}  // namespace

CallResult LoadTxRecord(DeviceContext& device, std::span<const std::uint8_t> record) {
  return Call(device, VQ_OID_USB_TX_LOAD_PACKET, record, {});
}

CallResult StartTxRun(DeviceContext& device, const TxStartBlock& block) {
  std::array<std::uint8_t, 20> input{};
  PutLe32(input, 0, block.count);
  PutLe32(input, 4, block.queueFlags);
  PutLe32(input, 8, block.frameType);
  PutLe32(input, 12, block.nextValid);
  PutLe32(input, 16, block.sequenceDebug);
  return Call(device, VQ_OID_USB_TX_START, input, {});
}

CallResult StopTxRun(DeviceContext& device) {
  return Call(device, VQ_OID_USB_TX_STOP, {}, {});
}

CallResult StartReception(DeviceContext& device, int pipe) {
  const std::array<std::uint8_t, 2> untilStopped{};
  return Call(device, pipe == 0 ? VQ_OID_USB_RX0_START : VQ_OID_USB_RX1_START, untilStopped, {});
}

CallResult StopReception(DeviceContext& device, int pipe) {
  return Call(device, pipe == 0 ? VQ_OID_USB_RX0_STOP : VQ_OID_USB_RX1_STOP, {}, {});
}

CallResult ResetPipelineCounters(DeviceContext& device) {
  return Call(device, VQ_OID_USB_RESET_COUNTERS, {}, {});
}

CallResult QueryRxStatistics(DeviceContext& device, RxStatisticsWords& words) {
  if (!EnsureDeviceOpen(device)) return NotOpen();
  std::array<std::uint8_t, 4 * 64> output{};
  std::uint32_t count = 0;
  CallResult result =
      CallDeviceCount(device, VQ_OID_USB_QUERY_RX_STATISTICS, {}, output, count);
  // The driver answers 96 bytes of the 256 offered; fewer would leave the
  // signal words stale.
  if (result.ok && count < kFilledStatisticsBytes) result.ok = false;
  if (result.ok)
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = GetLe32(output, 4 * i);
  return result;
}

CallResult QueryTxProgress(DeviceContext& device, TxProgressWords& words) {
  std::array<std::uint8_t, 4 * 11> output{};
  const CallResult result = Call(device, VQ_OID_USB_QUERY_TX_COUNTERS, {}, output);
  if (result.ok)
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = GetLe32(output, 4 * i);
  return result;
}

CallResult QueryRx1Transfers(DeviceContext& device, std::uint32_t& transfers) {
  if (!EnsureDeviceOpen(device)) return NotOpen();
  std::array<std::uint8_t, 256> output{};
  std::uint32_t count = 0;
  CallResult result = CallDeviceCount(device, VQ_OID_USB_QUERY_RX1_TRANSFERS, {}, output, count);
  if (result.ok && count < 4) result.ok = false;
  if (result.ok) transfers = GetLe32(output, 0);
  return result;
}

CallResult ReadDeviceDescriptor(DeviceContext& device, DeviceDescriptorBytes& descriptor) {
  DeviceDescriptorBytes output{};
  const CallResult result = Call(device, VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, output);
  descriptor = result.ok ? output : DeviceDescriptorBytes{};
  return result;
}

}  // namespace kqa::device
