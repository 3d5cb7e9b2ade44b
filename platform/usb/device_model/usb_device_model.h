#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/usb/wire/usb_wire.h"

namespace kqa::usb {

// What a host controller sees of a USB device: control transfers on
// endpoint 0, bulk transfers on the other endpoints, and attach/detach.
// The emulated Kestrel implements it; the emulated USB back end drives it.
class UsbDeviceModel {
 public:
  using TransferId = std::uint64_t;
  using BulkCompletion = std::function<void(TransferResult result)>;

  virtual ~UsbDeviceModel() = default;

  // One control transfer, carried out on the caller's thread; returns when
  // the status stage is done. `data` is the data stage: wLength bytes that
  // the device fills (device-to-host; result.length tells how many it sent)
  // or reads (host-to-device). A request the device does not support ends
  // in Stall. A detached device answers NoDevice.
  virtual TransferResult controlTransfer(const SetupPacket& setup,
                                              std::span<std::uint8_t> data) = 0;

  // Queues a bulk transfer on `endpointAddress` (bit 7 set for IN). For OUT
  // the device consumes all of `buffer`; for IN it fills up to buffer.size()
  // bytes. The completion runs exactly once, on the device's own completion
  // thread (or inside a test's explicit step), never inside this call. A
  // cancelled transfer still completes, with Cancelled. The buffer must stay
  // valid until the completion has run.
  virtual TransferId submitBulk(std::uint8_t endpointAddress, std::span<std::uint8_t> buffer,
                                BulkCompletion completion) = 0;

  // Asks for the transfer to end early. Returns at once; the completion
  // follows (with Cancelled, unless the transfer finished first). Unknown or
  // finished ids are ignored.
  virtual void cancelBulk(TransferId id) = 0;

  virtual bool isAttached() const = 0;

  // Called (from any thread) when the device is attached or detached. On
  // detach, every pending bulk transfer completes with NoDevice. One
  // listener; setting it again replaces it; an empty function removes it.
  virtual void setAttachListener(std::function<void(bool attached)> listener) = 0;
};

}  // namespace kqa::usb
