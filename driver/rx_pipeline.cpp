#include "driver/rx_pipeline.h"

#include <algorithm>
#include <cstring>

#include "driver/capture_ring.h"
#include "driver/driver_object.h"
#include "driver/payload.h"
#include "driver/pipe_request.h"
#include "driver/vendor_requests.h"
#include "platform/bytes/little_endian.h"
#include "platform/kernel/irql.h"

namespace kqa::driver {
namespace {

constexpr std::uint32_t kInTransferFlags = 3;  // in, short transfer allowed
constexpr std::uint32_t kRecordLengthMask = 0x3FFF;
constexpr std::uint32_t kCrcError = 1u << 8;  // in the receive information word

// Under Irp->Lock.
void SubmitInLocked(DeviceState& dx, std::size_t k) {
  Pipe& pipe = dx.InPipe[k];
  pipe.Urb = PipeUrb{dx.InPipeHandle[k], kInTransferFlags, kPipeBufferSize, usb::TransferStatus::Completed};
  SubmitPipeTransferLocked(dx, *pipe.Irp, dx.InPipeHandle[k],
                           std::span<std::uint8_t>(pipe.Buffer.get(), kPipeBufferSize),
                           [&dx, k](usb::TransferResult result) { InCompletion(dx, k, result); });
}

bool ResubmitIn(DeviceState& dx, std::size_t k) {
  PipeIrp& irp = *dx.InPipe[k].Irp;
  kernel::SpinLockGuard guard(irp.Lock);
  if (irp.CancelRequested) return false;
  SubmitInLocked(dx, k);
  return true;
}

// The pipe stops, unless a start came while its completion routine ran.
void StopOrRestartIn(DeviceState& dx, std::size_t k) {
  ReleaseOrRestart(*dx.InPipe[k].Irp, dx.PipeEvent[InPipeEvent(k)], false, [&] { SubmitInLocked(dx, k); });
}

// A transfer whose first word has bits 31-30 = 01 is a firmware command
// response: its bits 0-12 are its length, and it is that many bytes plus 4,
// kept up to the size of CmdResponse.
bool IsCommandResponse(const std::uint8_t* b, std::size_t length) {
  return length >= 4 && (GetLe32(b, 0) >> 30) == 1;
}

void StoreCommandResponse(DeviceState& dx, const std::uint8_t* b) {
  const std::size_t length = std::min<std::size_t>((GetLe32(b, 0) & 0x1FFF) + 4, kCmdResponseSize);
  kernel::SpinLockGuard guard(dx.CmdResponseLock);
  std::memcpy(dx.CmdResponse.data(), b, length);
}

// Receive statistics of one record of IN pipe 0 (no CRC error).
void CountRecord(DeviceState& dx, const std::uint8_t* b, std::size_t record, std::size_t recordEnd,
                 std::size_t r) {
  static constexpr std::size_t kSignalOffsets[6] = {16, 17, 18, 20, 21, 22};
  for (std::size_t i = 0; i < 6; ++i) dx.RxSignal[i] = b[kSignalOffsets[i]];
  const std::size_t frameControl = record + r + 8;
  if (frameControl + 2 > recordEnd) return;  // too short to hold a frame
  const std::uint16_t fc = GetLe16(b, frameControl);
  const unsigned type = (fc >> 2) & 3;
  const unsigned subtype = (fc >> 4) & 0xF;
  if (type == 0 || type == 1) {
    ++dx.RxStats[subtype == 8 ? 6 : 7];
  } else if (type == 2) {
    ++dx.RxStats[(b[4] & 0x10) ? 4 : 5];
  }
}

// Checks one record's stamp; false on a sequence gap. A record too short to
// carry a stamp, or stamped by a pipe above 3, passes unchecked.
bool StampInSequence(DeviceState& dx, const std::uint8_t* b, std::size_t record, std::size_t recordEnd,
                     std::size_t r) {
  if (record + r + 33 > recordEnd) return true;
  const std::uint16_t counter = GetLe16(b, record + r + 30);
  const std::uint8_t pipe = b[record + r + 32];
  if (pipe > 3) return true;
  auto& expected = DriverOf(dx).RxSequence[pipe];
  if (counter != expected) return false;
  ++expected;
  return true;
}

struct WalkResult {
  std::size_t stop = 0;  // offset of the record at which the walk stopped
  bool stampGap = false;
};

// Walks the records of a received transfer of `length` bytes. A record is
// looked at only when it lies wholly inside the bytes received.
WalkResult WalkRecords(DeviceState& dx, std::size_t k, std::uint8_t* b, std::size_t length) {
  const std::size_t r = DescriptorSizesFor(dx.AsicVersion).receive;
  const bool pipe0 = k == 0;
  const bool crcError = length >= 8 && (GetLe32(b, 4) & kCrcError) != 0;
  WalkResult walk;
  std::size_t offset = 0;
  while (offset + 4 <= length) {
    walk.stop = offset;
    const std::size_t lr = GetLe32(b, offset) & kRecordLengthMask;
    const std::size_t end = offset + lr + 8;
    if (lr == 0 || end > length) break;
    if (pipe0 && dx.TxStamp && !StampInSequence(dx, b, offset, end, r)) {
      dx.TxContinuous = 0;
      kernel::SpinLockGuard guard(dx.RxLock[0]);
      dx.RxUsers[0] = 0;
      walk.stampGap = true;
      break;
    }
    if (pipe0 && !crcError) CountRecord(dx, b, offset, end, r);
    if (end == length) break;
    PutLe32(b, offset, GetLe32(b, offset) & ~kRecordLengthMask);
    if (pipe0 && !dx.RxMultiFrame) break;
    offset = end;
    walk.stop = offset;
    if (offset + 4 > length || (GetLe32(b, offset) & kRecordLengthMask) == 0) break;
  }
  return walk;
}

}  // namespace

bool StartInPipe(DeviceState& dx, std::size_t k) {
  Pipe& pipe = dx.InPipe[k];
  if (!pipe.Irp || dx.InPipeHandle[k] == 0) return false;
  return StartPipe(*pipe.Irp, [&] { SubmitInLocked(dx, k); });
}

void StopIn(DeviceState& dx, std::size_t k) {
  if (PipeIrp* irp = dx.InPipe[k].Irp.get()) {
    CancelPipeAndWait(dx, *irp, dx.PipeEvent[InPipeEvent(k)]);
    ReplacePipeIrp(*irp);
  }
  kernel::SpinLockGuard guard(dx.RxLock[k]);
  dx.RxUsers[k] = 0;
}

void InCompletion(DeviceState& dx, std::size_t k, usb::TransferResult result) {
  kernel::DispatchLevelScope dispatchLevel;
  Pipe& pipe = dx.InPipe[k];
  PipeIrp& irp = *pipe.Irp;
  kernel::Event& pipeEvent = dx.PipeEvent[InPipeEvent(k)];
  pipe.Urb.TransferBufferLength = static_cast<std::uint32_t>(result.length);
  pipe.Urb.UsbdStatus = result.status;
  const bool cancelRequested = TakeCompletedTransfer(irp);

  if (cancelRequested || result.status == usb::TransferStatus::Cancelled) {
    dx.RxRemaining[k] = 0;
    dx.RxContinuous[k] = 0;
    ReleasePipeIrp(irp, pipeEvent);  // sets the event for the canceller: the last touch
    return;
  }
  if (!result.ok()) {
    QueueRecovery(dx, /*toggleTxReset=*/false);
    dx.RxRemaining[k] = 0;
    dx.RxContinuous[k] = 0;
    StopOrRestartIn(dx, k);
    return;
  }

  ++dx.RxTransfers[k];
  const std::size_t length = std::min(result.length, kPipeBufferSize);
  std::uint8_t* b = pipe.Buffer.get();
  if (k == 0 && IsCommandResponse(b, length)) {
    StoreCommandResponse(dx, b);
    StopOrRestartIn(dx, k);  // the command exchange stops reception next
    return;
  }
  const WalkResult walk = WalkRecords(dx, k, b, length);
  std::uint32_t remaining = dx.RxRemaining[k].load();
  while (remaining > 0 && !dx.RxRemaining[k].compare_exchange_weak(remaining, remaining - 1)) {
  }
  if (dx.RingRecording && length > 0) WriteRingRecord(dx, std::span<const std::uint8_t>(b, length), walk.stop);

  const bool wanted = ((dx.RxContinuous[k] || dx.RxRemaining[k] > 0) && dx.RxActive[k]) || dx.RingRecording;
  if (!walk.stampGap && wanted && ResubmitIn(dx, k)) return;
  StopOrRestartIn(dx, k);
}

}  // namespace kqa::driver
