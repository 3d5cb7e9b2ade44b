#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/clock/clock.h"
#include "platform/usb/libusb/libusb_context.h"
#include "platform/usb/usb_device.h"

struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace kqa::usb {

// A real device opened through libusb. Control and bulk transfers are libusb
// asynchronous transfers completed on the context's event thread. A claimed
// interface is released (and a kernel driver detached from it re-attached)
// when the configuration is released or the object is destroyed, which
// happens only after every transfer's callback has run.
class LibusbDevice final : public UsbDevice {
 public:
  LibusbDevice(std::shared_ptr<LibusbContext> context, libusb_device* device,
               libusb_device_handle* handle, Clock& clock);
  ~LibusbDevice() override;

  libusb_device* device() const { return device_; }
  void markGone() { gone_ = true; }

  std::string location() const override { return location_; }
  TransferId submitControl(const SetupPacket& setup, std::span<std::uint8_t> data,
                           Clock::Duration timeout, Completion completion) override;
  TransferId submitBulk(PipeHandle pipe, std::span<std::uint8_t> buffer,
                        Completion completion) override;
  void cancel(TransferId id) override;
  TransferStatus getPortStatus(PortStatus& status) override;
  TransferStatus resetPort() override;
  TransferStatus selectConfiguration(std::uint8_t configurationValue, std::uint8_t interfaceNumber,
                                     std::uint8_t alternateSetting,
                                     std::vector<PipeInformation>& pipes) override;
  TransferStatus deconfigure() override;
  TransferStatus getFrameInfo(FrameInfo& info) override;
  TransferStatus getBusInformation(BusInformation& info) override;

 private:
  struct Transfer;
  static void onTransferDone(libusb_transfer* transfer);

  TransferId submit(std::unique_ptr<Transfer> transfer, bool completeInline);
  void finish(Transfer* transfer);

  std::shared_ptr<LibusbContext> context_;
  libusb_device* device_;
  libusb_device_handle* handle_;
  Clock& clock_;
  std::string location_;
  std::atomic<bool> gone_{false};
  std::optional<std::uint8_t> claimedInterface_;  // passive-level callers only

  std::mutex mutex_;
  std::condition_variable drained_;
  std::map<TransferId, Transfer*> inFlight_;
  TransferId nextId_ = 1;
};

}  // namespace kqa::usb
