#include "platform/usb/emulated/emulated_device.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace kqa::usb {
namespace {

constexpr std::uint32_t kFullSpeedBitTimesPerFrame = 12000;  // 1 ms at 12 Mbit/s
constexpr std::uint32_t kHighSpeedBandwidthKbits = 480000;

}  // namespace

EmulatedUsbDevice::EmulatedUsbDevice(usb::UsbDeviceModel& model, Clock& clock,
                                     std::shared_ptr<kernel::WorkQueue> failures)
    : model_(model), clock_(clock), failures_(std::move(failures)) {}

EmulatedUsbDevice::~EmulatedUsbDevice() {
  std::vector<TransferId> ids;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, transfer] : inFlight_) ids.push_back(id);
  }
  for (TransferId id : ids) cancel(id);
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return inFlight_.empty(); });
}

UsbDevice::TransferId EmulatedUsbDevice::submitControl(const SetupPacket& setup,
                                                       std::span<std::uint8_t> data,
                                                       Clock::Duration timeout,
                                                       Completion completion) {
  const TransferId id = nextId_++;
  if (!present()) {
    completion({TransferStatus::NoDevice, 0});
    return id;
  }
  SetupPacket packet = setup;
  const std::size_t length = std::min<std::size_t>(setup.wLength, data.size());
  packet.wLength = static_cast<std::uint16_t>(length);

  TransferResult result;
  if (packet.isDeviceToHost()) {
    // The chip writes into a scratch buffer, so that a failed read leaves the
    // caller's bytes as they were.
    std::array<std::uint8_t, 64> small{};
    std::vector<std::uint8_t> large;
    std::span<std::uint8_t> scratch(small.data(), length);
    if (length > small.size()) {
      large.resize(length);
      scratch = large;
    }
    result = model_.controlTransfer(packet, scratch);
    if (result.ok()) {
      result.length = std::min(result.length, length);
      std::copy_n(scratch.begin(), result.length, data.begin());
    }
  } else {
    result = model_.controlTransfer(packet, data.first(length));
  }
  if (result.status == TransferStatus::Timeout) {
    // A device that does not answer holds the pipe until the host gives up.
    clock_.sleep(timeout);
    result.length = 0;
  }
  completion(result);
  return id;
}

UsbDevice::TransferId EmulatedUsbDevice::submitBulk(PipeHandle pipe, std::span<std::uint8_t> buffer,
                                                    Completion completion) {
  const TransferId id = nextId_++;
  if (!present() || pipe == 0) {
    const TransferStatus status = present() ? TransferStatus::Error : TransferStatus::NoDevice;
    failures_->queue([completion = std::move(completion), status] { completion({status, 0}); });
    return id;
  }
  {
    std::lock_guard lock(mutex_);
    inFlight_.emplace(id, InFlight{});
  }
  const auto modelId = model_.submitBulk(
      pipe, buffer, [this, id, completion = std::move(completion)](TransferResult result) {
        completion(result);
        finishBulk(id);
      });
  bool cancelNow = false;
  {
    std::lock_guard lock(mutex_);
    if (auto it = inFlight_.find(id); it != inFlight_.end()) {
      it->second.modelId = modelId;
      it->second.modelIdKnown = true;
      cancelNow = it->second.cancelRequested;
    }
  }
  if (cancelNow) model_.cancelBulk(modelId);
  return id;
}

void EmulatedUsbDevice::finishBulk(TransferId id) {
  std::lock_guard lock(mutex_);
  inFlight_.erase(id);
  if (inFlight_.empty()) drained_.notify_all();
}

void EmulatedUsbDevice::cancel(TransferId id) {
  usb::UsbDeviceModel::TransferId modelId = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = inFlight_.find(id);
    if (it == inFlight_.end()) return;
    if (!it->second.modelIdKnown) {
      it->second.cancelRequested = true;  // submitBulk cancels it once the id is known
      return;
    }
    modelId = it->second.modelId;
  }
  model_.cancelBulk(modelId);
}

TransferStatus EmulatedUsbDevice::getPortStatus(PortStatus& status) {
  status.connected = present();
  status.enabled = status.connected;
  return TransferStatus::Completed;
}

TransferStatus EmulatedUsbDevice::resetPort() {
  return present() ? TransferStatus::Completed : TransferStatus::NoDevice;
}

TransferResult EmulatedUsbDevice::standardOut(std::uint8_t request, std::uint16_t value,
                                              std::uint16_t index) {
  if (!present()) return {TransferStatus::NoDevice, 0};
  const SetupPacket setup{kStandardOutDevice, request, value, index, 0};
  return model_.controlTransfer(setup, {});
}

TransferStatus EmulatedUsbDevice::selectConfiguration(std::uint8_t configurationValue,
                                                      std::uint8_t interfaceNumber,
                                                      std::uint8_t alternateSetting,
                                                      std::vector<PipeInformation>& pipes) {
  TransferResult result = standardOut(kSetConfiguration, configurationValue, 0);
  if (!result.ok()) return result.status;
  if (alternateSetting != 0) {
    const SetupPacket setup{0x01, kSetInterface, alternateSetting, interfaceNumber, 0};
    result = model_.controlTransfer(setup, {});
    if (!result.ok()) return result.status;
  }
  for (PipeInformation& pipe : pipes) pipe.handle = pipe.endpointAddress;
  return TransferStatus::Completed;
}

TransferStatus EmulatedUsbDevice::deconfigure() { return standardOut(kSetConfiguration, 0, 0).status; }

TransferStatus EmulatedUsbDevice::getFrameInfo(FrameInfo& info) {
  if (!present()) return TransferStatus::NoDevice;
  // One frame per millisecond of the clock, as on a full-speed bus.
  const auto frame = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now()).count());
  info.frameLength = kFullSpeedBitTimesPerFrame;
  info.frameNumber = frame;
  info.frameNumberWithLength = frame;
  return TransferStatus::Completed;
}

TransferStatus EmulatedUsbDevice::getBusInformation(BusInformation& info) {
  if (!present()) return TransferStatus::NoDevice;
  info.totalBandwidth = kHighSpeedBandwidthKbits;
  info.consumedBandwidth = 0;
  info.controllerName = "emulated host controller";
  return TransferStatus::Completed;
}

}  // namespace kqa::usb
