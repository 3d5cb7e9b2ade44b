#include "driver/usbd/device_keeper.h"

#include <strings.h>

#include <array>
#include <atomic>
#include <shared_mutex>

#include "platform/ioctl/control_codes.h"

namespace kqa::usbd {

// One open of the driver, from the keeper's open until its device goes or
// the keeper does.
struct HeldOpen {
  std::shared_mutex lock;  // shared by calls, exclusive to close the handle
  std::unique_ptr<ioctl::DeviceHandle> handle;  // null once closed
  std::string path;
  std::atomic<bool> gone{false};  // the driver answered 1167 on it
};

namespace {

using OpenFailure = ioctl::DeviceInterfaceProvider::OpenFailure;

// A client's share of the held handle: its calls go to the driver's handle;
// closing it closes nothing.
class SharedHandle final : public ioctl::DeviceHandle {
 public:
  explicit SharedHandle(std::shared_ptr<HeldOpen> held) : held_(std::move(held)) {}

  ioctl::ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                               std::span<std::uint8_t> output) override {
    std::shared_lock lock(held_->lock);
    if (!held_->handle) return {ERROR_DEVICE_NOT_CONNECTED, 0};
    const ioctl::ControlResult result = held_->handle->control(code, input, output);
    if (result.error == ERROR_DEVICE_NOT_CONNECTED) held_->gone = true;
    return result;
  }

 private:
  std::shared_ptr<HeldOpen> held_;
};

bool IsQaClass(std::string_view interfaceClass) {
  return interfaceClass.size() == ioctl::kQaInterfaceClass.size() &&
         ::strncasecmp(interfaceClass.data(), ioctl::kQaInterfaceClass.data(), interfaceClass.size()) == 0;
}

std::string FailureText(const ioctl::DeviceInterfaceProvider::OpenResult& result) {
  const std::string error = " (error " + std::to_string(result.error) + ")";
  switch (result.failure) {
    case OpenFailure::NoInstance:
      return "no Kestrel is present" + error;
    case OpenFailure::UnknownClass:
      return "the driver does not serve the QA interface" + error;
    default:
      return "the driver refused the open" + error;
  }
}

}  // namespace

DeviceKeeper::DeviceKeeper(ioctl::DeviceInterfaceProvider& driver, Log log)
    : driver_(driver), log_(std::move(log)) {}

DeviceKeeper::~DeviceKeeper() {
  std::lock_guard lock(mutex_);
  if (!held_) return;
  std::unique_lock closing(held_->lock);
  held_->handle.reset();
}

void DeviceKeeper::check() {
  std::lock_guard lock(mutex_);
  checkLocked();
}

void DeviceKeeper::checkLocked() {
  if (held_) {
    if (!held_->gone) {
      // The firmware version word is the driver's own copy: asking for it
      // touches neither the chip nor anything a client started.
      std::array<std::uint8_t, 4> version{};
      ioctl::ControlResult answer;
      {
        std::shared_lock calling(held_->lock);
        answer = held_->handle->control(ioctl::VQ_OID_USB_GET_FIRMWARE_VERSION, {}, version);
      }
      if (answer.error != ERROR_DEVICE_NOT_CONNECTED) return;
    }
    closeLocked();
  }
  openLocked();
}

void DeviceKeeper::closeLocked() {
  {
    std::unique_lock closing(held_->lock);  // waits for the calls in progress
    held_->handle.reset();
  }
  log_("the device is gone (error 1167): closed " + held_->path + "; waiting for it to come back");
  held_.reset();
}

void DeviceKeeper::openLocked() {
  OpenResult result = driver_.open(ioctl::kQaInterfaceClass, 0);
  if (result.failure == OpenFailure::None && result.handle) {
    held_ = std::make_shared<HeldOpen>();
    held_->handle = std::move(result.handle);
    held_->path = result.path;
    ++opens_;
    lastFailure_ = {};
    lastFailureText_.clear();
    log_("opened the device (" + held_->path + ")");
    return;
  }
  if (result.failure == OpenFailure::None) {
    result.failure = OpenFailure::OpenFailed;
    result.error = ERROR_GEN_FAILURE;
  }
  const std::string why = FailureText(result);
  if (why != lastFailureText_) log_("cannot open the device: " + why + "; waiting for it");
  lastFailure_ = {result.failure, result.error};
  lastFailureText_ = why;
}

ioctl::DeviceInterfaceProvider::OpenResult DeviceKeeper::open(std::string_view interfaceClass,
                                                              std::uint32_t instance) {
  OpenResult result;
  result.error = ERROR_FILE_NOT_FOUND;
  if (!IsQaClass(interfaceClass)) {
    result.failure = OpenFailure::UnknownClass;
    return result;
  }
  if (instance != 0) {
    result.failure = OpenFailure::NoInstance;
    return result;
  }
  std::lock_guard lock(mutex_);
  checkLocked();
  if (!held_) {
    result.failure = lastFailure_.failure;
    result.error = lastFailure_.error;
    return result;
  }
  result.error = ERROR_SUCCESS;
  result.path = held_->path;
  result.handle = std::make_unique<SharedHandle>(held_);
  return result;
}

bool DeviceKeeper::isOpen() const {
  std::lock_guard lock(mutex_);
  return held_ != nullptr;
}

std::string DeviceKeeper::state() const {
  std::lock_guard lock(mutex_);
  if (held_)
    return "open (" + held_->path + "), opened " + std::to_string(opens_) +
           (opens_ == 1 ? " time" : " times") + " since the daemon started";
  return "not open: " + (lastFailureText_.empty() ? std::string("not opened yet") : lastFailureText_) +
         "; waiting for it";
}

}  // namespace kqa::usbd
