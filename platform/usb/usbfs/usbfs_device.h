#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/usb/device_model/usb_device_model.h"
#include "platform/usb/usbfs/client_memory.h"
#include "platform/usb/usbfs/descriptor_set.h"

namespace kqa::usb::usbfs {

// One attachment of a USB device as usbdevfs (/dev/bus/usb/BBB/DDD) shows it
// to the processes that open it: the ioctls libusb's Linux back end issues,
// served by forwarding to a UsbDeviceModel, with the kernel's answers.
//
// - Control URBs run at once (the model is synchronous) and are reaped
//   later; one the device never answers (Timeout) stays in flight until it
//   is discarded, as on the bus. Bulk and interrupt URBs complete on the
//   model's own thread. Completed URBs are reaped one by one, in completion
//   order; `readiness` says whether any is waiting (the node's POLLOUT).
// - A discarded URB in flight is reaped with -ECONNRESET; one already
//   completed is not found (EINVAL) and keeps its result.
// - After disconnect() the URBs in flight end with -ESHUTDOWN and every
//   request but the reap fails with ENODEV; the reap returns what is left,
//   then ENODEV (USBDEVFS_CAP_REAP_AFTER_DISCONNECT).
// - Not served (ENOTTY): the blocking reap, isochronous URBs, bulk streams,
//   mmap'ed buffers, port claims, suspend control, USBDEVFS_BULK.
//
// Threads: open(), close() and ioctl() may be called from any thread; the
// model's completions arrive on its own. `readiness` and the configuration
// listener must not call back into the device; readiness is called under its
// lock.
class UsbfsDevice {
 public:
  using FileId = std::uint64_t;

  UsbfsDevice(UsbDeviceModel& model, DescriptorSet descriptors, std::uint8_t deviceNumber,
              std::function<void(bool reapable)> readiness);
  // Closes every file and returns once the model has completed their URBs.
  ~UsbfsDevice();
  UsbfsDevice(const UsbfsDevice&) = delete;
  UsbfsDevice& operator=(const UsbfsDevice&) = delete;

  // An open() and a close() of the node. Closing discards the file's URBs
  // and releases its interfaces.
  FileId open();
  void close(FileId file);

  IoctlAnswer ioctl(FileId file, IoctlCall& call);

  // The device left the bus.
  void disconnect();

  const DescriptorSet& descriptors() const { return descriptors_; }
  std::uint8_t configuration() const;  // the active configuration, 0 when unconfigured
  // Told (on the ioctl's thread) when SETCONFIGURATION changed it.
  void setConfigurationListener(std::function<void(std::uint8_t value)> listener);

 private:
  struct Urb;
  struct File {
    std::uint32_t claimed = 0;  // interface numbers 0-31
    std::deque<std::shared_ptr<Urb>> completed;
  };
  using UrbKey = std::pair<FileId, std::uint64_t>;  // the file, the caller's URB address

  IoctlAnswer submit(FileId file, IoctlCall& call);
  IoctlAnswer submitControl(const std::shared_ptr<Urb>& urb, ClientBlock& block);
  IoctlAnswer submitBulk(const std::shared_ptr<Urb>& urb, ClientBlock& block);
  IoctlAnswer reap(FileId file, IoctlCall& call);
  IoctlAnswer discard(FileId file, std::uint64_t address);
  IoctlAnswer control(IoctlCall& call);
  IoctlAnswer setConfiguration(IoctlCall& call);
  IoctlAnswer claim(FileId file, std::uint32_t interface);
  IoctlAnswer release(FileId file, std::uint32_t interface);
  IoctlAnswer setInterface(IoctlCall& call);
  IoctlAnswer clearHalt(IoctlCall& call);
  IoctlAnswer reset();
  IoctlAnswer kernelDriver(IoctlCall& call);
  TransferResult standardRequest(std::uint8_t recipient, std::uint8_t request, std::uint16_t value,
                                 std::uint16_t index);

  void modelCompleted(const std::shared_ptr<Urb>& urb, TransferResult result);
  // Under the lock: the URB leaves the in-flight table for its file's reap
  // queue (dropped when the file is closed).
  void finish(const std::shared_ptr<Urb>& urb, int status, std::size_t length);
  // Under the lock: takes the URBs of `file` (any file when 0) that `match`
  // accepts out of flight as discarded with `status`; returns the model
  // transfers to cancel once the lock is released.
  template <class Match>
  std::vector<UsbDeviceModel::TransferId> kill(FileId file, int status, Match match);
  void cancelInModel(const std::vector<UsbDeviceModel::TransferId>& ids);
  void updateReadiness();  // under the lock
  bool claimedByAnyone(std::uint32_t interface) const;  // under the lock

  UsbDeviceModel& model_;
  const DescriptorSet descriptors_;
  const std::uint8_t deviceNumber_;
  const std::function<void(bool)> readiness_;

  mutable std::mutex mutex_;
  std::condition_variable drained_;
  bool connected_ = true;
  std::uint8_t configuration_ = 0;
  std::map<FileId, File> files_;
  std::map<UrbKey, std::shared_ptr<Urb>> inFlight_;
  std::size_t withModel_ = 0;  // bulk URBs the model has not completed yet, closed files' too
  std::size_t waiting_ = 0;    // completed URBs not yet reaped
  bool reapable_ = false;
  FileId nextFile_ = 1;
  std::function<void(std::uint8_t)> configurationListener_;
};

}  // namespace kqa::usb::usbfs
