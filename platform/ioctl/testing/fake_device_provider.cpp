#include "platform/ioctl/testing/fake_device_provider.h"

#include <algorithm>
#include <cassert>
#include <thread>

#include "platform/ioctl/control_codes.h"

namespace kqa::ioctl::testing {

class FakeDeviceProvider::Handle final : public DeviceHandle {
 public:
  explicit Handle(FakeDeviceProvider& owner) : owner_(owner) {}
  ~Handle() override { owner_.closed(); }

  ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                        std::span<std::uint8_t> output) override {
    if (inCall_.fetch_add(1) != 0) ++owner_.overlaps_;
    std::this_thread::yield();  // widens the window in which an unserialised call would show
    const ControlResult result = owner_.serve(code, input, output);
    inCall_.fetch_sub(1);
    return result;
  }

 private:
  FakeDeviceProvider& owner_;
  std::atomic<int> inCall_{0};
};

FakeDeviceProvider::~FakeDeviceProvider() { assert(openHandles_ == 0); }

DeviceInterfaceProvider::OpenResult FakeDeviceProvider::open(std::string_view interfaceClass,
                                                             std::uint32_t instance) {
  OpenResult result;
  result.path = "fake:" + std::to_string(instance);
  std::lock_guard lock(mutex_);
  if (interfaceClass != kQaInterfaceClass) {
    result.failure = OpenFailure::UnknownClass;
    result.error = ERROR_FILE_NOT_FOUND;
  } else if (instance != 0 || unplugged_) {
    result.failure = OpenFailure::NoInstance;
    result.error = ERROR_FILE_NOT_FOUND;
  } else if (openHandles_ >= maxHandles_) {
    result.failure = OpenFailure::OpenFailed;
    result.error = ERROR_SHARING_VIOLATION;
  } else {
    ++openHandles_;
    changed_.notify_all();
    result.handle = std::make_unique<Handle>(*this);
  }
  return result;
}

void FakeDeviceProvider::closed() {
  std::lock_guard lock(mutex_);
  --openHandles_;
  changed_.notify_all();
}

int FakeDeviceProvider::openHandles() const {
  std::lock_guard lock(mutex_);
  return openHandles_;
}

bool FakeDeviceProvider::waitForOpenHandles(int count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return openHandles_ == count; });
}

ControlResult FakeDeviceProvider::serve(std::uint32_t code, std::span<const std::uint8_t> input,
                                        std::span<std::uint8_t> output) {
  if (unplugged_) return {ERROR_DEVICE_NOT_CONNECTED, 0};
  if (code == VQ_OID_USB_VENDOR_MAC_READ) {
    if (input.size() < 4 || output.size() < 4) return {ERROR_INSUFFICIENT_BUFFER, 0};
    const std::uint32_t value = MacValue(input[0] | input[1] << 8 | input[2] << 16 |
                                         static_cast<std::uint32_t>(input[3]) << 24);
    for (int i = 0; i < 4; ++i) output[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return {ERROR_SUCCESS, 4};
  }
  if (code == VQ_OID_USB_CAPTURE_READ) {
    const std::size_t bytes = output.size() / 5120 * 5120;
    for (std::size_t i = 0; i < bytes; ++i) output[i] = CaptureByte(i);
    return {ERROR_SUCCESS, static_cast<std::uint32_t>(bytes)};
  }
  if (code == kEchoCode) {
    const std::size_t bytes = std::min(input.size(), output.size());
    std::copy_n(input.begin(), bytes, output.begin());
    return {ERROR_SUCCESS, static_cast<std::uint32_t>(bytes)};
  }
  if (code == kMoreDataCode) {
    std::fill(output.begin(), output.end(), 0xA5);
    return {ERROR_MORE_DATA, static_cast<std::uint32_t>(output.size())};
  }
  return {ERROR_INVALID_FUNCTION, 0};
}

}  // namespace kqa::ioctl::testing
