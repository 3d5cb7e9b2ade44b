#include "driver/io_references.h"

#include "platform/kernel/interlocked.h"

namespace kqa::driver {

bool AcquireIoReference(DeviceState& dx) {
  kernel::InterlockedIncrement(dx.IoCount);
  if (dx.Removing) {
    ReleaseIoReference(dx);
    return false;
  }
  return true;
}

void ReleaseIoReference(DeviceState& dx) {
  if (kernel::InterlockedDecrement(dx.IoCount) == 0) dx.IoIdleEvent.set();
}

void StopAndWait(DeviceState& dx) {
  dx.NotReady = 1;
  if (!dx.Started) return;
  dx.Removing = 1;
  dx.IoIdleEvent.reset();
  ReleaseIoReference(dx);  // the stop request's own
  ReleaseIoReference(dx);  // the device's base reference
  dx.IoIdleEvent.wait();
  dx.Removing = 0;
  dx.Started = 0;
  kernel::InterlockedIncrement(dx.IoCount);
  kernel::InterlockedIncrement(dx.IoCount);
}

}  // namespace kqa::driver
