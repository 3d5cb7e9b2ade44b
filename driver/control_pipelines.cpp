// F. firmware command channel, G. transmit, H. receive and capture ring,
// I. counters and statistics: controls of the pipelines, which run between
// requests in their completion routines.
#include <algorithm>
#include <cstring>

#include "driver/capture_ring.h"
#include "driver/control_request.h"
#include "driver/driver_object.h"
#include "driver/rx_pipeline.h"
#include "driver/tx_pipeline.h"
#include "driver/vendor_requests.h"
#include "platform/kernel/stall.h"

namespace kqa::driver::actions {
namespace {

constexpr std::uint16_t kTxControl = 0x0238;
constexpr std::uint32_t kRxEnable = 1u << 22;
constexpr std::uint32_t kTxEnable = 1u << 23;
constexpr std::uint32_t kTxReset = 1u << 19;
constexpr std::size_t kCommandPipe = 1;
constexpr std::uint32_t kCommandMode = 99;

// Starts the pipelines of a transmit run: TxRunning goes to 1 only if some
// pipe was actually started.
void StartOutPipes(DeviceState& dx, std::uint32_t pipeMask) {
  if (dx.TxRunning.exchange(1)) return;  // running pipes take the new settings as they resubmit
  bool started = false;
  for (std::size_t n = 0; n < kOutPipes; ++n)
    if (pipeMask & (1u << n)) started = StartOutPipe(dx, n) || started;
  if (!started) dx.TxRunning = 0;
}

NtStatus RxStart(DeviceState& dx, ControlRequest& request, std::size_t k) {
  const std::uint16_t transfers = request.u16(0);
  dx.RxActive[k] = 1;
  dx.RxRemaining[k] = transfers;
  dx.RxContinuous[k] = transfers == 0 ? 1 : 0;
  {
    kernel::SpinLockGuard guard(dx.RxLock[k]);
    if (dx.RxUsers[k] > 0) {
      ++dx.RxUsers[k];
      return STATUS_SUCCESS;
    }
    dx.RxUsers[k] = 1;
  }
  dx.RxTransfers[k] = 0;
  SetBits(dx, kTxControl, kRxEnable);
  StartInPipe(dx, k);
  return STATUS_SUCCESS;
}

// One user fewer; a stop without a start changes nothing. Returns true when
// no user is left.
bool DropRxUser(DeviceState& dx, std::size_t k) {
  kernel::SpinLockGuard guard(dx.RxLock[k]);
  if (dx.RxUsers[k] > 0) --dx.RxUsers[k];
  return dx.RxUsers[k] == 0;
}

NtStatus RxStop(DeviceState& dx, std::size_t k) {
  dx.RxActive[k] = 0;
  dx.RxRemaining[k] = 0;
  dx.RxContinuous[k] = 0;
  if (DropRxUser(dx, k)) StopIn(dx, k);  // after the spin lock is released
  return STATUS_SUCCESS;
}

NtStatus CopyU64(ControlRequest& request, std::uint64_t value) {
  request.putU64(0, value);
  request.Information = 8;
  return STATUS_SUCCESS;
}

}  // namespace

NtStatus SendQaCmd(DeviceState& dx, ControlRequest& request) {
  if (request.InputLength + 4u > kMaxOutLength) return STATUS_INVALID_PARAMETER;
  dx.CmdSequence = request.u8(2) & 0x0F;
  LoadOutPipe(dx, kCommandPipe, request.Buffer.first(request.InputLength), request.InputLength + 4);
  dx.TxSendCount = 1;
  dx.TxContinuous = 0;
  dx.TxResendMarked = 0;
  dx.TxPipeMask = 1u << kCommandPipe;
  dx.TxPayloadMode = kCommandMode;
  StartOutPipes(dx, 1u << kCommandPipe);
  request.Information = request.InputLength;
  return STATUS_SUCCESS;
}

NtStatus ReceiveQaCmdRsp(DeviceState& dx, ControlRequest& request) {
  kernel::SpinLockGuard guard(dx.CmdResponseLock);
  const std::uint32_t first = GetLe32(dx.CmdResponse.data(), 0);
  if (((first >> 16) & 0x0F) != dx.CmdSequence) return STATUS_SUCCESS;  // not arrived yet: 0 bytes
  const std::uint32_t length = std::min<std::uint32_t>((first & 0x1FFF) + 4, kCmdResponseSize);
  if (length > request.OutputLength) return kShortOutput;
  std::memcpy(request.data(), dx.CmdResponse.data(), length);
  request.Information = length;
  return STATUS_SUCCESS;
}

NtStatus TxLoadPacket(DeviceState& dx, ControlRequest& request) {
  const std::uint32_t pipe = request.u32(0);
  const std::uint32_t length = request.u32(4);
  if (pipe >= kOutPipes || length > kMaxOutLength - 4) return STATUS_INVALID_PARAMETER;
  // Callers may leave out the packet's closing zero bytes: what the input
  // lacks stays zero.
  const std::size_t available = std::min<std::size_t>(length, request.InputLength - 8u);
  LoadOutPipe(dx, pipe, request.Buffer.subspan(8, available), length + 4);
  dx.TxBaseLength = length + 4;
  dx.TxCurrentLength = length + 4;
  return STATUS_SUCCESS;
}

NtStatus TxStart(DeviceState& dx, ControlRequest& request) {
  const std::uint32_t sendCount = request.u32(0);
  const std::uint32_t pipeMask = request.u32(4);
  // The counters are zeroed before the new settings can reach a running
  // pipe, so that every transfer of the new run is counted.
  dx.TxTotal = 0;
  for (auto& done : dx.TxPipeDone) done = 0;
  dx.TxStamp = request.u8(16);
  dx.TxResendMarked = request.u8(12);
  dx.TxPayloadMode = request.u32(8);
  dx.TxPipeMask = pipeMask;
  dx.TxContinuous = sendCount == 0 ? 1 : 0;
  dx.TxSendCount = sendCount;
  SetBits(dx, kTxControl, kTxEnable);
  SetBits(dx, kTxControl, kTxReset);
  ClearBits(dx, kTxControl, kTxReset);
  StartOutPipes(dx, pipeMask);
  return STATUS_SUCCESS;
}

NtStatus TxStop(DeviceState& dx, ControlRequest&) {
  dx.TxSendCount = 0;
  dx.TxContinuous = 0;
  kernel::StallExecutionProcessor(ClockOf(dx), std::chrono::microseconds(1000));
  return STATUS_SUCCESS;
}

NtStatus QueryTxCounters(DeviceState& dx, ControlRequest& request) {
  request.putU32(0, dx.TxTotal);
  for (std::size_t n = 0; n < kOutPipes; ++n) request.putU32(4 + 4 * n, dx.TxPipeDone[n]);
  request.Information = 44;
  return STATUS_SUCCESS;
}

NtStatus Rx0Start(DeviceState& dx, ControlRequest& request) { return RxStart(dx, request, 0); }
NtStatus Rx0Stop(DeviceState& dx, ControlRequest&) { return RxStop(dx, 0); }
NtStatus Rx1Start(DeviceState& dx, ControlRequest& request) { return RxStart(dx, request, 1); }
NtStatus Rx1Stop(DeviceState& dx, ControlRequest&) { return RxStop(dx, 1); }
NtStatus QueryRx0Transfers(DeviceState& dx, ControlRequest& request) { return CopyU64(request, dx.RxTransfers[0]); }
NtStatus QueryRx1Transfers(DeviceState& dx, ControlRequest& request) { return CopyU64(request, dx.RxTransfers[1]); }

NtStatus CaptureStart(DeviceState& dx, ControlRequest&) {
  dx.RingRecording = 1;
  for (std::size_t k = 0; k < kInPipes; ++k) {
    bool first = false;
    {
      kernel::SpinLockGuard guard(dx.RxLock[k]);
      first = dx.RxUsers[k]++ == 0;
    }
    if (first) {
      SetBits(dx, kTxControl, kRxEnable);
      StartInPipe(dx, k);
    }
  }
  return STATUS_SUCCESS;
}

NtStatus CaptureStop(DeviceState& dx, ControlRequest&) {
  dx.RingRecording = 0;
  for (std::size_t k = 0; k < kInPipes; ++k)
    if (DropRxUser(dx, k)) StopIn(dx, k);
  ResetRing(dx);
  return STATUS_SUCCESS;
}

NtStatus CaptureRead(DeviceState& dx, ControlRequest& request) {
  request.Information = static_cast<std::uint32_t>(
      ReadRingRecords(dx, request.Buffer.first(request.OutputLength)));
  return STATUS_SUCCESS;
}

NtStatus CaptureAvailable(DeviceState& dx, ControlRequest& request) {
  request.putU32(0, dx.RingPresent);
  request.Information = 4;
  return STATUS_SUCCESS;
}

NtStatus QueryRxStatistics(DeviceState& dx, ControlRequest& request) {
  // Running sums of the chip's counters: each 16-bit part that reads 0 adds nothing.
  std::uint32_t r1700 = 0, r1704 = 0, r1708 = 0;
  Read32(dx, 0x1700, r1700);
  Read32(dx, 0x1704, r1704);
  Read32(dx, 0x1708, r1708);
  auto add = [&](std::size_t index, std::uint32_t part) {
    if (part != 0) dx.RxStats[index] += part;
  };
  add(0, r1700 & 0xFFFF);
  add(1, r1708 >> 16);
  add(2, r1700 >> 16);
  add(3, r1704 & 0xFFFF);
  for (std::size_t i = 0; i < 9; ++i) request.putU64(8 * i, dx.RxStats[i]);
  for (std::size_t i = 0; i < 6; ++i) request.putU32(72 + 4 * i, dx.RxSignal[i]);
  request.Information = 96;
  return STATUS_SUCCESS;
}

NtStatus ResetCounters(DeviceState& dx, ControlRequest&) {
  for (auto& stat : dx.RxStats) stat = 0;
  for (auto& signal : dx.RxSignal) signal = 0;
  dx.RxTransfers[0] = 0;
  dx.RxTransfers[1] = 0;
  for (auto& done : dx.TxPipeDone) done = 0;
  return STATUS_SUCCESS;
}

}  // namespace kqa::driver::actions
