// IRP_MJ_CREATE and IRP_MJ_CLOSE: the per-open set-up and tear-down of the
// configuration and the pipelines.
#include <chrono>

#include "driver/capture_ring.h"
#include "driver/io_references.h"
#include "driver/payload.h"
#include "driver/pipe_request.h"
#include "driver/pnp.h"
#include "driver/vendor_requests.h"
#include "platform/kernel/interlocked.h"
#include "platform/kernel/stall.h"

namespace kqa::driver {
namespace {

constexpr std::uint16_t kResetControl = 0x0080;
constexpr std::uint32_t kResetPulse = 0x0C;
constexpr std::uint16_t kTxControl = 0x0238;
constexpr std::uint32_t kOpenPulse = 0x03000000;

void ResetPerOpenState(DeviceState& dx) {
  dx.FlashWidth = 1;
  dx.CmdSequence = 1;
  dx.RxMultiFrame = 1;
  dx.AsicVersion = 0;
  for (auto& signal : dx.RxSignal) signal = 0;
  dx.RingRecording = 0;
  ResetRing(dx);
  dx.SpareWord = 0;
  dx.LfsrState = LfsrSeed(ClockOf(dx).now());
}

bool AllocatePipe(DeviceState& dx, Pipe& pipe) {
  pipe.Buffer = DriverOf(dx).Pool.allocate(kPipeBufferSize);
  if (!pipe.Buffer) return false;
  pipe.Irp = std::make_unique<PipeIrp>();
  pipe.Urb = PipeUrb{};
  pipe.Pending = PendingLoad{};
  return true;
}

// IN pipes, then the capture ring (optional), then OUT pipes.
bool AllocatePipelines(DeviceState& dx) {
  for (Pipe& pipe : dx.InPipe)
    if (!AllocatePipe(dx, pipe)) return false;
  dx.CaptureRing = DriverOf(dx).Pool.allocate(kRingSize);
  dx.RingPresent = dx.CaptureRing ? 1 : 0;
  for (Pipe& pipe : dx.OutPipe)
    if (!AllocatePipe(dx, pipe)) return false;
  return true;
}

// Cancels every pipe's transfer in flight and waits for it, then frees the
// pipelines: IN pipes 0 and 1, then OUT pipes 0 to 9.
void FreePipelines(DeviceState& dx) {
  for (std::size_t k = 0; k < kInPipes; ++k)
    if (PipeIrp* irp = dx.InPipe[k].Irp.get()) CancelPipeAndWait(dx, *irp, dx.PipeEvent[InPipeEvent(k)]);
  for (std::size_t n = 0; n < kOutPipes; ++n)
    if (PipeIrp* irp = dx.OutPipe[n].Irp.get()) CancelPipeAndWait(dx, *irp, dx.PipeEvent[OutPipeEvent(n)]);
  dx.RingRecording = 0;
  dx.RingPresent = 0;
  for (Pipe& pipe : dx.InPipe) pipe = Pipe{};
  dx.CaptureRing.reset();
  for (Pipe& pipe : dx.OutPipe) pipe = Pipe{};
}

// An open that fails undoes its set-up, so that it leaks nothing and the
// next open starts afresh.
NtStatus FailOpen(DeviceState& dx, Irp& irp, NtStatus status) {
  FreePipelines(dx);
  Deconfigure(dx);
  dx.OpenCount = 0;
  return CompleteRequest(irp, status);
}

}  // namespace

NtStatus DispatchCreate(DeviceObject& device, Irp& irp) {
  DeviceState& dx = device.DeviceExtension;
  if (dx.NotReady) return CompleteRequest(irp, STATUS_DEVICE_NOT_CONNECTED);
  // One handle at a time: a second open would set the device up again over
  // the first one's pipelines.
  if (kernel::InterlockedCompareExchange(dx.OpenCount, 1, 0) != 0)
    return CompleteRequest(irp, STATUS_SHARING_VIOLATION);

  // The port, configuration and bus answers do not stop the open; control
  // codes that need what failed fail silently later.
  CheckPort(dx);
  Configure(dx);
  QueryBus(dx);
  ResetPerOpenState(dx);
  if (!AllocatePipelines(dx)) return FailOpen(dx, irp, STATUS_INSUFFICIENT_RESOURCES);
  dx.TxRunning = 0;
  for (std::size_t k = 0; k < kInPipes; ++k) {
    kernel::SpinLockGuard guard(dx.RxLock[k]);
    dx.RxUsers[k] = 0;
  }

  if (!WaitForChip(dx, 501)) return FailOpen(dx, irp, STATUS_UNSUCCESSFUL);
  std::uint32_t reset = 0;
  if (Read32(dx, kResetControl, reset) == STATUS_SUCCESS) {
    Write32(dx, kResetControl, reset | kResetPulse);
    kernel::StallExecutionProcessor(ClockOf(dx), std::chrono::microseconds(100));
    Write32(dx, kResetControl, reset & ~kResetPulse);
  }
  WaitForChip(dx, 1001);  // the open goes on whatever it answers
  SetBits(dx, kTxControl, kOpenPulse);
  ClearBits(dx, kTxControl, kOpenPulse);
  return CompleteRequest(irp, STATUS_SUCCESS);
}

NtStatus DispatchClose(DeviceObject& device, Irp& irp) {
  DeviceState& dx = device.DeviceExtension;
  kernel::InterlockedDecrement(dx.OpenCount);
  FreePipelines(dx);
  if (dx.LowerDevice) Deconfigure(dx);
  return CompleteRequest(irp, STATUS_SUCCESS);
}

}  // namespace kqa::driver
