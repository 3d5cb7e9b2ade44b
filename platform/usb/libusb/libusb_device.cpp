#include "platform/usb/libusb/libusb_device.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kqa::usb {
namespace {

TransferStatus FromTransferStatus(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return TransferStatus::Completed;
    case LIBUSB_TRANSFER_TIMED_OUT: return TransferStatus::Timeout;
    case LIBUSB_TRANSFER_CANCELLED: return TransferStatus::Cancelled;
    case LIBUSB_TRANSFER_STALL: return TransferStatus::Stall;
    case LIBUSB_TRANSFER_NO_DEVICE: return TransferStatus::NoDevice;
    case LIBUSB_TRANSFER_OVERFLOW: return TransferStatus::Overflow;
    case LIBUSB_TRANSFER_ERROR: break;
  }
  return TransferStatus::Error;
}

TransferStatus FromError(int rc) {
  switch (rc) {
    case LIBUSB_SUCCESS: return TransferStatus::Completed;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return TransferStatus::NoDevice;
    case LIBUSB_ERROR_PIPE: return TransferStatus::Stall;
    case LIBUSB_ERROR_TIMEOUT: return TransferStatus::Timeout;
    case LIBUSB_ERROR_OVERFLOW: return TransferStatus::Overflow;
    default: return TransferStatus::Error;
  }
}

std::string Location(libusb_device* device) {
  libusb_device_descriptor descriptor{};
  libusb_get_device_descriptor(device, &descriptor);
  std::uint8_t ports[8];
  const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
  char text[64];
  int n = std::snprintf(text, sizeof text, "usb:%04x:%04x@%d", descriptor.idVendor,
                        descriptor.idProduct, libusb_get_bus_number(device));
  for (int i = 0; i < depth && n > 0 && n < static_cast<int>(sizeof text); ++i)
    n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%c%d", i == 0 ? '-' : '.', ports[i]);
  return text;
}

}  // namespace

// One libusb transfer with what its completion needs. Control transfers own
// their setup + data buffer, so the caller's bytes change only on success.
struct LibusbDevice::Transfer {
  LibusbDevice* owner = nullptr;
  TransferId id = 0;
  libusb_transfer* transfer = nullptr;
  std::vector<std::uint8_t> controlBuffer;
  std::span<std::uint8_t> controlData;  // the caller's data stage
  bool controlIn = false;
  Completion completion;

  ~Transfer() {
    if (transfer) libusb_free_transfer(transfer);
  }
};

LibusbDevice::LibusbDevice(std::shared_ptr<LibusbContext> context, libusb_device* device,
                           libusb_device_handle* handle, Clock& clock)
    : context_(std::move(context)),
      device_(libusb_ref_device(device)),
      handle_(handle),
      clock_(clock),
      location_(Location(device)) {}

LibusbDevice::~LibusbDevice() {
  {
    std::unique_lock lock(mutex_);
    for (const auto& [id, transfer] : inFlight_) libusb_cancel_transfer(transfer->transfer);
    // A cancelled transfer still calls back: nothing is closed before that.
    drained_.wait(lock, [this] { return inFlight_.empty(); });
  }
  context_->deferred().flush();
  if (claimedInterface_) libusb_release_interface(handle_, *claimedInterface_);
  libusb_close(handle_);
  libusb_unref_device(device_);
}

void LibusbDevice::onTransferDone(libusb_transfer* raw) {
  auto* transfer = static_cast<Transfer*>(raw->user_data);
  TransferResult result{FromTransferStatus(raw->status), static_cast<std::size_t>(raw->actual_length)};
  const bool control = !transfer->controlBuffer.empty();
  if (control && !result.ok()) result.length = 0;
  if (control && transfer->controlIn && result.ok()) {
    result.length = std::min(result.length, transfer->controlData.size());
    std::memcpy(transfer->controlData.data(), transfer->controlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE,
                result.length);
  }
  transfer->completion(result);
  transfer->owner->finish(transfer);
}

void LibusbDevice::finish(Transfer* transfer) {
  std::unique_ptr<Transfer> owned(transfer);
  std::lock_guard lock(mutex_);
  inFlight_.erase(transfer->id);
  if (inFlight_.empty()) drained_.notify_all();
}

UsbDevice::TransferId LibusbDevice::submit(std::unique_ptr<Transfer> transfer, bool completeInline) {
  Transfer* raw = transfer.get();
  raw->owner = this;
  raw->transfer->user_data = raw;
  raw->transfer->callback = &LibusbDevice::onTransferDone;
  int rc = LIBUSB_ERROR_NO_DEVICE;
  TransferId id = 0;
  {
    std::lock_guard lock(mutex_);
    id = raw->id = nextId_++;
    if (!gone_) rc = libusb_submit_transfer(raw->transfer);
    if (rc == 0) inFlight_.emplace(id, transfer.release());
  }
  // Once submitted, the transfer may complete and be freed on the event
  // thread as soon as the lock is released: only `id` is read from here on.
  if (rc != 0) {
    const TransferResult failed{FromError(rc), 0};
    if (completeInline) {
      transfer->completion(failed);
    } else {
      context_->deferred().queue([completion = std::move(transfer->completion), failed] { completion(failed); });
    }
  }
  return id;
}

UsbDevice::TransferId LibusbDevice::submitControl(const SetupPacket& setup, std::span<std::uint8_t> data,
                                                  Clock::Duration timeout, Completion completion) {
  auto transfer = std::make_unique<Transfer>();
  const std::size_t length = std::min<std::size_t>(setup.wLength, data.size());
  transfer->transfer = libusb_alloc_transfer(0);
  transfer->controlBuffer.resize(LIBUSB_CONTROL_SETUP_SIZE + length);
  transfer->controlData = data.first(length);
  transfer->controlIn = setup.isDeviceToHost();
  transfer->completion = std::move(completion);
  libusb_fill_control_setup(transfer->controlBuffer.data(), setup.bmRequestType, setup.bRequest,
                            setup.wValue, setup.wIndex, static_cast<std::uint16_t>(length));
  if (!transfer->controlIn && length > 0)
    std::memcpy(transfer->controlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE, data.data(), length);
  const auto ms = std::max<std::int64_t>(
      1, std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
  libusb_fill_control_transfer(transfer->transfer, handle_, transfer->controlBuffer.data(), nullptr,
                               nullptr, static_cast<unsigned>(ms));
  return submit(std::move(transfer), /*completeInline=*/true);
}

UsbDevice::TransferId LibusbDevice::submitBulk(PipeHandle pipe, std::span<std::uint8_t> buffer,
                                               Completion completion) {
  auto transfer = std::make_unique<Transfer>();
  transfer->transfer = libusb_alloc_transfer(0);
  transfer->completion = std::move(completion);
  libusb_fill_bulk_transfer(transfer->transfer, handle_, pipe, buffer.data(),
                            static_cast<int>(buffer.size()), nullptr, nullptr, 0);
  return submit(std::move(transfer), /*completeInline=*/false);
}

void LibusbDevice::cancel(TransferId id) {
  std::lock_guard lock(mutex_);
  if (auto it = inFlight_.find(id); it != inFlight_.end()) libusb_cancel_transfer(it->second->transfer);
}

TransferStatus LibusbDevice::getPortStatus(PortStatus& status) {
  // libusb shows an opened device only while its port is connected and enabled.
  status.connected = !gone_;
  status.enabled = !gone_;
  return TransferStatus::Completed;
}

TransferStatus LibusbDevice::resetPort() {
  if (gone_) return TransferStatus::NoDevice;
  return FromError(libusb_reset_device(handle_));
}

TransferStatus LibusbDevice::selectConfiguration(std::uint8_t configurationValue,
                                                 std::uint8_t interfaceNumber,
                                                 std::uint8_t alternateSetting,
                                                 std::vector<PipeInformation>& pipes) {
  if (gone_) return TransferStatus::NoDevice;
  int current = -1;
  int rc = libusb_get_configuration(handle_, &current);
  if (rc == 0 && current != configurationValue) rc = libusb_set_configuration(handle_, configurationValue);
  if (rc != 0) return FromError(rc);
  // Detaches a kernel driver bound to the interface, re-attached on release.
  libusb_set_auto_detach_kernel_driver(handle_, 1);
  if (claimedInterface_ != interfaceNumber) {
    if (claimedInterface_) libusb_release_interface(handle_, *claimedInterface_);
    claimedInterface_.reset();
    rc = libusb_claim_interface(handle_, interfaceNumber);
    if (rc != 0) return FromError(rc);
    claimedInterface_ = interfaceNumber;
  }
  if (alternateSetting != 0) {
    rc = libusb_set_interface_alt_setting(handle_, interfaceNumber, alternateSetting);
    if (rc != 0) return FromError(rc);
  }
  for (PipeInformation& pipe : pipes) pipe.handle = pipe.endpointAddress;
  return TransferStatus::Completed;
}

TransferStatus LibusbDevice::deconfigure() {
  if (gone_) return TransferStatus::NoDevice;
  int rc = 0;
  if (claimedInterface_) rc = libusb_release_interface(handle_, *claimedInterface_);
  claimedInterface_.reset();
  // Unconfigured, as the interface promises: the next selectConfiguration
  // sends SET_CONFIGURATION again, which resets the chip's bulk endpoints
  // (a halt left by this open would otherwise greet the next one).
  if (rc == 0) rc = libusb_set_configuration(handle_, -1);
  return FromError(rc);
}

TransferStatus LibusbDevice::getFrameInfo(FrameInfo& info) {
  if (gone_) return TransferStatus::NoDevice;
  // libusb does not expose the bus frame counter: count 1 ms frames on the clock.
  const auto frame = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now()).count());
  info.frameLength = 12000;
  info.frameNumber = frame;
  info.frameNumberWithLength = frame;
  return TransferStatus::Completed;
}

TransferStatus LibusbDevice::getBusInformation(BusInformation& info) {
  if (gone_) return TransferStatus::NoDevice;
  switch (libusb_get_device_speed(device_)) {
    case LIBUSB_SPEED_LOW: info.totalBandwidth = 1500; break;
    case LIBUSB_SPEED_FULL: info.totalBandwidth = 12000; break;
    case LIBUSB_SPEED_SUPER: info.totalBandwidth = 5000000; break;
    default: info.totalBandwidth = 480000; break;
  }
  info.consumedBandwidth = 0;
  info.controllerName = "libusb bus " + std::to_string(libusb_get_bus_number(device_));
  return TransferStatus::Completed;
}

}  // namespace kqa::usb
