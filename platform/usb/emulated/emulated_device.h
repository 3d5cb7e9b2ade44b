#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/usb/device_model/usb_device_model.h"
#include "platform/clock/clock.h"
#include "platform/kernel/work_queue.h"
#include "platform/usb/usb_device.h"

namespace kqa::usb {

// One attachment of the emulated chip, as the host controller sees it. Bulk
// completions run on the chip's completion thread (the emulated "event
// thread"), or inside a test's explicit step of the model; transfers that
// cannot start complete on `failures`. After markGone() the object answers
// NoDevice to everything, even if the chip is plugged in again: that is a new
// device.
class EmulatedUsbDevice final : public UsbDevice {
 public:
  EmulatedUsbDevice(usb::UsbDeviceModel& model, Clock& clock,
                    std::shared_ptr<kernel::WorkQueue> failures);
  ~EmulatedUsbDevice() override;

  void markGone() { gone_ = true; }

  std::string location() const override { return "emulated"; }
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
  struct InFlight {
    usb::UsbDeviceModel::TransferId modelId = 0;
    bool modelIdKnown = false;
    bool cancelRequested = false;
  };

  bool present() const { return !gone_ && model_.isAttached(); }
  TransferResult standardOut(std::uint8_t request, std::uint16_t value, std::uint16_t index);
  void finishBulk(TransferId id);

  usb::UsbDeviceModel& model_;
  Clock& clock_;
  std::shared_ptr<kernel::WorkQueue> failures_;
  std::atomic<bool> gone_{false};

  std::mutex mutex_;
  std::condition_variable drained_;
  std::unordered_map<TransferId, InFlight> inFlight_;
  std::atomic<TransferId> nextId_{1};
};

}  // namespace kqa::usb
