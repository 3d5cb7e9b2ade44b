#include "platform/ioctl/testing/fake_device_provider.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <thread>

#include "platform/ioctl/control_codes.h"

namespace kqa::ioctl::testing {
namespace {

constexpr std::size_t kRecordBytes = 5120;

std::uint32_t LoadU32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void StoreU32(std::span<std::uint8_t> bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

class FakeDeviceProvider::Handle final : public DeviceHandle {
 public:
  explicit Handle(FakeDeviceProvider& owner) : owner_(owner) {}
  ~Handle() override { owner_.closed(); }

  ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                        std::span<std::uint8_t> output) override {
    return owner_.serve(inCall_, code, input, output);
  }

 private:
  FakeDeviceProvider& owner_;
  std::atomic<int> inCall_{0};
};

FakeDeviceProvider::FakeDeviceProvider(int maxHandles) : maxHandles_(maxHandles) {}

FakeDeviceProvider::~FakeDeviceProvider() { assert(openHandles_ == 0); }

DeviceInterfaceProvider::OpenResult FakeDeviceProvider::open(std::string_view interfaceClass,
                                                             std::uint32_t instance) {
  OpenResult result;
  result.path = "fake:" + std::to_string(instance);
  if (interfaceClass != kQaInterfaceClass) {
    result.failure = OpenFailure::UnknownClass;
    result.error = ERROR_FILE_NOT_FOUND;
    return result;
  }
  std::lock_guard lock(mutex_);
  if (instance != 0 || unplugged_) {
    result.failure = OpenFailure::NoInstance;
    result.error = ERROR_FILE_NOT_FOUND;
    return result;
  }
  if (openHandles_ >= maxHandles_) {
    result.failure = OpenFailure::OpenFailed;
    result.error = ERROR_SHARING_VIOLATION;
    return result;
  }
  ++openHandles_;
  changed_.notify_all();
  result.handle = std::make_unique<Handle>(*this);
  return result;
}

void FakeDeviceProvider::closed() {
  std::lock_guard lock(mutex_);
  --openHandles_;
  changed_.notify_all();
}

void FakeDeviceProvider::unplug() { unplugged_ = true; }
void FakeDeviceProvider::replug() { unplugged_ = false; }

int FakeDeviceProvider::openHandles() const {
  std::lock_guard lock(mutex_);
  return openHandles_;
}

bool FakeDeviceProvider::waitForOpenHandles(int count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return openHandles_ == count; });
}

ControlResult FakeDeviceProvider::serve(std::atomic<int>& inCall, std::uint32_t code,
                                        std::span<const std::uint8_t> input,
                                        std::span<std::uint8_t> output) {
  ++calls_;
  if (inCall.fetch_add(1) != 0) ++overlaps_;
  // Widen the window in which an unserialised second call would show up.
  std::this_thread::yield();
  ControlResult result{ERROR_INVALID_FUNCTION, 0};
  if (unplugged_) {
    result = {ERROR_DEVICE_NOT_CONNECTED, 0};
  } else if (code == VQ_OID_USB_VENDOR_MAC_READ) {
    if (input.size() >= 4 && output.size() >= 4) {
      StoreU32(output, MacValue(LoadU32(input)));
      result = {ERROR_SUCCESS, 4};
    } else {
      result = {ERROR_INSUFFICIENT_BUFFER, 0};
    }
  } else if (code == VQ_OID_USB_CAPTURE_READ) {
    const std::size_t bytes = output.size() / kRecordBytes * kRecordBytes;
    for (std::size_t i = 0; i < bytes; ++i) output[i] = CaptureByte(i);
    result = {ERROR_SUCCESS, static_cast<std::uint32_t>(bytes)};
  } else if (code == kEchoCode) {
    const std::size_t bytes = std::min(input.size(), output.size());
    std::copy_n(input.begin(), bytes, output.begin());
    result = {ERROR_SUCCESS, static_cast<std::uint32_t>(bytes)};
  } else if (code == kMoreDataCode) {
    std::fill(output.begin(), output.end(), 0xA5);
    result = {ERROR_MORE_DATA, static_cast<std::uint32_t>(output.size())};
  }
  inCall.fetch_sub(1);
  return result;
}

}  // namespace kqa::ioctl::testing
