#include "driver/tx_pipeline.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "driver/driver_object.h"
#include "driver/payload.h"
#include "driver/pipe_request.h"
#include "driver/vendor_requests.h"
#include "platform/bytes/little_endian.h"
#include "platform/kernel/irql.h"

namespace kqa::driver {
namespace {

constexpr std::uint32_t kResendMark = 1u << 16;  // in the transmit information word

// The stamp: sequence control = the pipe's counter (low byte first), then
// payload byte 0 = the pipe number and byte 1 = the counter's low byte + 1.
void WriteStamp(std::uint8_t* b, std::size_t h, std::size_t n, std::uint16_t counter) {
  PutLe16(b, h + 26, counter);
  b[h + 28] = static_cast<std::uint8_t>(n);
  b[h + 29] = static_cast<std::uint8_t>((counter & 0xFF) + 1);
}

// The information word's length and the descriptor's frame byte count.
void WriteLengths(std::uint8_t* b, std::size_t h, std::uint32_t length) {
  PutLe16(b, 0, static_cast<std::uint16_t>(length - 8));
  const std::uint32_t word = GetLe32(b, 8);
  const std::uint32_t frameBytes = static_cast<std::uint32_t>(length - h - 8) & 0xFFF;
  PutLe32(b, 8, (word & ~0x0FFF0000u) | (frameBytes << 16));
}

void ApplyPendingLoad(DeviceState& dx, std::size_t n) {
  Pipe& pipe = dx.OutPipe[n];
  if (!pipe.Pending.Present) return;
  std::memset(pipe.Buffer.get(), 0, pipe.Pending.Length);
  std::memcpy(pipe.Buffer.get(), pipe.Pending.Bytes.data(), pipe.Pending.Bytes.size());
  dx.TxLength[n] = pipe.Pending.Length;
  pipe.Pending.Present = false;
}

// Mode 17: random length and payload, stamped whatever TxStamp says.
void PrepareRandom(DeviceState& dx, std::size_t n, std::uint8_t* b, std::size_t h, std::uint16_t counter) {
  std::uint32_t seed = dx.LfsrState.load();
  std::uint32_t length = 0;
  for (;;) {  // pipes draw concurrently: each frame takes its own run of the sequence
    std::uint32_t state = seed;
    length = RandomFrameLength(static_cast<std::uint16_t>(LfsrDraw(state, 16)));
    for (std::size_t i = h + 30; i < length; ++i) b[i] = static_cast<std::uint8_t>(LfsrDraw(state, 8));
    if (dx.LfsrState.compare_exchange_weak(seed, state)) break;
  }
  dx.TxLength[n] = length;
  WriteLengths(b, h, length);
  WriteStamp(b, h, n, counter);
  std::memset(b + length - 4, 0, 4);
}

// Mode 18: the shared length grows by 4 per frame, back to the base past 1500.
void PrepareGrowing(DeviceState& dx, std::size_t n, std::uint8_t* b, std::size_t h) {
  const std::uint32_t length = GrowingFrameLength(dx.TxCurrentLength, dx.TxBaseLength);
  dx.TxLength[n] = length;
  WriteLengths(b, h, length);
  std::memset(b + length - 4, 0, 4);
  dx.TxCurrentLength = length;
}

// Rewrites OUT pipe n's buffer for the payload mode. Under Irp->Lock.
void PrepareOut(DeviceState& dx, std::size_t n) {
  std::uint8_t* b = dx.OutPipe[n].Buffer.get();
  const std::uint32_t mode = dx.TxPayloadMode;
  const std::size_t h = DescriptorSizesFor(dx.AsicVersion).transmit;
  auto& sequence = DriverOf(dx).TxSequence[n];

  dx.TxLength[n] = AdjustedOutLength(dx.TxLength[n], static_cast<int>(n), mode);
  if (mode == kModeStamp && dx.TxStamp) {
    WriteStamp(b, h, n, sequence++);
  } else if (mode == kModeRandom) {
    PrepareRandom(dx, n, b, h, sequence++);
  } else if (mode == kModeGrowing && (n == 0 || n >= 4)) {
    PrepareGrowing(dx, n, b, h);
  }
}

// Under Irp->Lock.
void SubmitOutLocked(DeviceState& dx, std::size_t n) {
  Pipe& pipe = dx.OutPipe[n];
  ApplyPendingLoad(dx, n);
  PrepareOut(dx, n);
  pipe.Urb = PipeUrb{dx.OutPipeHandle[n], 0, dx.TxLength[n], usb::TransferStatus::Completed};
  SubmitPipeTransferLocked(dx, *pipe.Irp, dx.OutPipeHandle[n],
                           std::span<std::uint8_t>(pipe.Buffer.get(), dx.TxLength[n]),
                           [&dx, n](usb::TransferResult result) { OutCompletion(dx, n, result); });
}

// SubmitOut from the pipe's own completion routine, which owns the packet.
bool ResubmitOut(DeviceState& dx, std::size_t n) {
  PipeIrp& irp = *dx.OutPipe[n].Irp;
  kernel::SpinLockGuard guard(irp.Lock);
  if (irp.CancelRequested) return false;
  SubmitOutLocked(dx, n);
  return true;
}

// TxSendCount counts down to 0, shared by every running pipe.
void CountOneSent(DeviceState& dx) {
  std::uint32_t left = dx.TxSendCount.load();
  while (left > 0 && !dx.TxSendCount.compare_exchange_weak(left, left - 1)) {
  }
}

bool MoreToSend(const DeviceState& dx) { return dx.TxContinuous || dx.TxSendCount > 0; }

}  // namespace

void LoadOutPipe(DeviceState& dx, std::size_t n, std::span<const std::uint8_t> packet,
                 std::uint32_t pipeLength) {
  Pipe& pipe = dx.OutPipe[n];
  packet = packet.first(std::min<std::size_t>(packet.size(), pipeLength));
  std::vector<std::uint8_t> staged;
  bool inFlight = false;
  {
    kernel::SpinLockGuard guard(pipe.Irp->Lock);
    inFlight = pipe.Irp->InFlight;
    if (!inFlight) {
      std::memset(pipe.Buffer.get(), 0, pipeLength);
      std::memcpy(pipe.Buffer.get(), packet.data(), packet.size());
      dx.TxLength[n] = pipeLength;
      pipe.Pending.Present = false;
    }
  }
  if (!inFlight) return;
  staged.assign(packet.begin(), packet.end());  // allocated outside the spin lock
  kernel::SpinLockGuard guard(pipe.Irp->Lock);
  if (pipe.Irp->InFlight) {
    pipe.Pending.Bytes.swap(staged);
    pipe.Pending.Length = pipeLength;
    pipe.Pending.Present = true;
  } else {  // it finished meanwhile
    std::memset(pipe.Buffer.get(), 0, pipeLength);
    std::memcpy(pipe.Buffer.get(), staged.data(), staged.size());
    dx.TxLength[n] = pipeLength;
    pipe.Pending.Present = false;
  }
}

bool StartOutPipe(DeviceState& dx, std::size_t n) {
  Pipe& pipe = dx.OutPipe[n];
  if (!pipe.Irp || dx.OutPipeHandle[n] == 0) return false;
  return StartPipe(*pipe.Irp, [&] { SubmitOutLocked(dx, n); });
}

void OutCompletion(DeviceState& dx, std::size_t n, usb::TransferResult result) {
  kernel::DispatchLevelScope dispatchLevel;
  Pipe& pipe = dx.OutPipe[n];
  PipeIrp& irp = *pipe.Irp;
  kernel::Event& pipeEvent = dx.PipeEvent[OutPipeEvent(n)];
  pipe.Urb.TransferBufferLength = static_cast<std::uint32_t>(result.length);
  pipe.Urb.UsbdStatus = result.status;
  const bool cancelRequested = TakeCompletedTransfer(irp);

  if (cancelRequested || result.status == usb::TransferStatus::Cancelled) {
    dx.TxSendCount = 0;
    dx.TxContinuous = 0;
    ReleasePipeIrp(irp, pipeEvent);  // sets the event for the canceller: the last touch
    return;
  }
  bool resend = false;
  if (result.ok()) {
    // The send is taken off the count before the totals show it: a caller
    // that waits for TxTotal to reach its count and then starts the next run
    // must not have this transfer taken off the new run's count instead.
    CountOneSent(dx);
    ++dx.TxPipeDone[n];
    ++dx.TxTotal;
    resend = MoreToSend(dx);
  } else if (result.status == usb::TransferStatus::NoDevice) {
    // The request failed without a USB error (the device is gone): the pipe
    // stops and TxRunning stays set.
    ReleasePipeIrp(irp, pipeEvent);
    return;
  } else {
    QueueRecovery(dx, /*toggleTxReset=*/true);
    resend = MoreToSend(dx);
  }
  if (resend && ResubmitOut(dx, n)) return;

  // Stopping. A marked packet goes out once more with its mark cleared.
  std::uint8_t* b = pipe.Buffer.get();
  if (dx.TxResendMarked && (GetLe32(b, 0) & kResendMark) != 0) {
    PutLe32(b, 0, GetLe32(b, 0) & ~kResendMark);
    if (ResubmitOut(dx, n)) return;
  }
  // A start that came while this pipe was finishing found TxRunning set and
  // left its settings to the running pipes: this one goes on with them.
  dx.TxRunning = 0;
  const bool startedMeanwhile = MoreToSend(dx) && (dx.TxPipeMask & (1u << n)) != 0;
  ReleaseOrRestart(irp, pipeEvent, startedMeanwhile, [&] {
    dx.TxRunning = 1;
    SubmitOutLocked(dx, n);
  });
}

}  // namespace kqa::driver
