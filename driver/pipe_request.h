#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "driver/device_state.h"

namespace kqa::driver {

// How a pipe's one request packet is sent, completed and cancelled, so that a
// cancel never misses a transfer, a completion never resubmits after one, and
// nobody frees a pipe while its completion routine still works on it.
//
// The packet is "in flight" from its submission until its completion routine
// has finished with it (resubmitted it, or let it go): the buffer belongs to
// the transfer, then to the completion routine, never to anyone else.

using PipeCompletion = std::function<void(usb::TransferResult)>;

// Called with irp.Lock held and the packet not in flight (a first submission)
// or owned by the calling completion routine (a resubmission): sends the
// transfer and marks the packet in flight; a pending restart is served by
// it. Completions never run inside the stack's submit, so holding the lock
// across it cannot deadlock.
void SubmitPipeTransferLocked(DeviceState& dx, PipeIrp& irp, usb::PipeHandle pipe,
                              std::span<std::uint8_t> buffer, PipeCompletion completion);

// First thing in a completion routine: returns true when a cancel has been
// requested. The routine owns the packet until it resubmits or releases it.
bool TakeCompletedTransfer(PipeIrp& irp);

// The completion routine lets the packet go without resubmitting it; sets
// `pipeEvent` for a canceller that may be waiting. Its last touch of the pipe.
void ReleasePipeIrp(PipeIrp& irp, kernel::Event& pipeEvent);

// As ReleasePipeIrp, unless a start asked for the pipe while the completion
// routine owned it (and no cancel came): then `resubmitLocked` sends the
// packet again, under the lock, and this returns true.
template <class Resubmit>
bool ReleaseOrRestart(PipeIrp& irp, kernel::Event& pipeEvent, bool startedMeanwhile,
                      Resubmit&& resubmitLocked) {
  bool cancelRequested = false;
  {
    kernel::SpinLockGuard guard(irp.Lock);
    cancelRequested = irp.CancelRequested;
    if (!cancelRequested && (startedMeanwhile || irp.RestartRequested)) {
      resubmitLocked();
      return true;
    }
    irp.InFlight = false;
    irp.RestartRequested = false;
  }
  if (cancelRequested) pipeEvent.set();
  return false;
}

// A start: submits through `submitLocked` when the pipe is idle; when it is in
// flight, asks its completion routine to go on. False when it is being
// cancelled.
template <class Submit>
bool StartPipe(PipeIrp& irp, Submit&& submitLocked) {
  kernel::SpinLockGuard guard(irp.Lock);
  if (irp.CancelRequested) return false;
  if (irp.InFlight) {
    irp.RestartRequested = true;
  } else {
    submitLocked();
  }
  return true;
}

// Requests the cancel; if the packet is in flight, cancels its transfer and
// waits (no time-out) until the completion routine has released it.
// Passive level, never under a spin lock.
void CancelPipeAndWait(DeviceState& dx, PipeIrp& irp, kernel::Event& pipeEvent);

// "Free the packet and allocate a new one": clears the cancel request.
void ReplacePipeIrp(PipeIrp& irp);

}  // namespace kqa::driver
