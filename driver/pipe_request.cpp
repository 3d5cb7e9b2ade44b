#include "driver/pipe_request.h"

#include <utility>

namespace kqa::driver {

void SubmitPipeTransferLocked(DeviceState& dx, PipeIrp& irp, usb::PipeHandle pipe,
                              std::span<std::uint8_t> buffer, PipeCompletion completion) {
  irp.InFlight = true;
  irp.RestartRequested = false;
  irp.Transfer = dx.LowerDevice->submitBulk(pipe, buffer, std::move(completion));
}

bool TakeCompletedTransfer(PipeIrp& irp) {
  kernel::SpinLockGuard guard(irp.Lock);
  irp.Transfer = 0;  // nothing left to cancel
  return irp.CancelRequested;
}

void ReleasePipeIrp(PipeIrp& irp, kernel::Event& pipeEvent) {
  bool cancelRequested = false;
  {
    kernel::SpinLockGuard guard(irp.Lock);
    irp.InFlight = false;
    irp.RestartRequested = false;
    cancelRequested = irp.CancelRequested;
  }
  if (cancelRequested) pipeEvent.set();
}

void CancelPipeAndWait(DeviceState& dx, PipeIrp& irp, kernel::Event& pipeEvent) {
  pipeEvent.reset();
  bool inFlight = false;
  usb::UsbDevice::TransferId id = 0;
  {
    kernel::SpinLockGuard guard(irp.Lock);
    irp.CancelRequested = true;
    inFlight = irp.InFlight;
    id = irp.Transfer;
  }
  if (!inFlight) return;
  if (id != 0) dx.LowerDevice->cancel(id);  // else its completion routine is running
  pipeEvent.wait();
}

void ReplacePipeIrp(PipeIrp& irp) {
  kernel::SpinLockGuard guard(irp.Lock);
  irp.CancelRequested = false;
  irp.RestartRequested = false;
}

}  // namespace kqa::driver
