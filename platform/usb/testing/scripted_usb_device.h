#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/usb/usb_device.h"

namespace kqa::usb::testing {

// A lower device that passes everything to `inner` but lets a test script
// the hub port and keep control transfers from ever being answered: the
// deterministic fake stack for interleavings the emulated chip cannot show.
class ScriptedUsbDevice final : public UsbDevice {
 public:
  explicit ScriptedUsbDevice(std::shared_ptr<UsbDevice> inner) : inner_(std::move(inner)) {}
  ~ScriptedUsbDevice() override;

  // Port status answers given in turn before the inner device answers again.
  void scriptPortStatus(std::vector<PortStatus> answers);
  int portResets() const;
  // The next control transfer with `bRequest` gets no answer: it completes
  // (Cancelled) only when cancelled. `whilePending` runs once it is pending,
  // e.g. to move a virtual clock past the caller's time-out.
  void neverAnswer(std::uint8_t bRequest, std::function<void()> whilePending);
  int cancelledControls() const;

  std::string location() const override { return "scripted:" + inner_->location(); }
  TransferId submitControl(const SetupPacket& setup, std::span<std::uint8_t> data, Clock::Duration timeout,
                           Completion completion) override;
  TransferId submitBulk(PipeHandle pipe, std::span<std::uint8_t> buffer, Completion completion) override {
    return inner_->submitBulk(pipe, buffer, std::move(completion));
  }
  void cancel(TransferId id) override;
  TransferStatus getPortStatus(PortStatus& status) override;
  TransferStatus resetPort() override;
  TransferStatus selectConfiguration(std::uint8_t configurationValue, std::uint8_t interfaceNumber,
                                     std::uint8_t alternateSetting,
                                     std::vector<PipeInformation>& pipes) override {
    return inner_->selectConfiguration(configurationValue, interfaceNumber, alternateSetting, pipes);
  }
  TransferStatus deconfigure() override { return inner_->deconfigure(); }
  TransferStatus getFrameInfo(FrameInfo& info) override { return inner_->getFrameInfo(info); }
  TransferStatus getBusInformation(BusInformation& info) override { return inner_->getBusInformation(info); }

 private:
  static constexpr TransferId kHeldFlag = TransferId{1} << 63;

  std::shared_ptr<UsbDevice> inner_;
  mutable std::mutex mutex_;
  std::vector<PortStatus> portAnswers_;
  int portResets_ = 0;
  std::map<std::uint8_t, std::function<void()>> unanswered_;
  std::map<TransferId, Completion> held_;
  TransferId nextHeld_ = kHeldFlag;
  int cancelledControls_ = 0;
};

}  // namespace kqa::usb::testing
