#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/ioctl/device_interface.h"

namespace kqa::ioctl::testing {

// A device for transport tests: answers a few codes with results that can be
// predicted from the request, admits a fixed number of handles (one, like
// the driver) and can be unplugged. It knows nothing of any transport.
//
//   VQ_OID_USB_VENDOR_MAC_READ  u32 address in (at least 4 bytes), 4 bytes
//                               out: MacValue(address); count 4
//   VQ_OID_USB_CAPTURE_READ     as many whole 5120-byte records as fit, each
//                               byte CaptureByte(offset)
//   kEchoCode                   the input back, cut to the output; count =
//                               bytes copied
//   kMoreDataCode               fills the output with 0xA5, answers
//                               ERROR_MORE_DATA with the output's size
//   anything else               ERROR_INVALID_FUNCTION, 0 bytes
//   unplugged                   ERROR_DEVICE_NOT_CONNECTED, 0 bytes
class FakeDeviceProvider final : public DeviceInterfaceProvider {
 public:
  static constexpr std::uint32_t kEchoCode = 0x222FF0;
  static constexpr std::uint32_t kMoreDataCode = 0x222FF4;

  static std::uint32_t MacValue(std::uint32_t address) { return address * 2654435761u ^ 0x5EC70000u; }
  static std::uint8_t CaptureByte(std::size_t offset) {
    return static_cast<std::uint8_t>(offset * 7 + offset / 5120);
  }

  explicit FakeDeviceProvider(int maxHandles = 1) : maxHandles_(maxHandles) {}
  ~FakeDeviceProvider() override;

  OpenResult open(std::string_view interfaceClass, std::uint32_t instance) override;
  void unplug() { unplugged_ = true; }

  int openHandles() const;
  // Waits (real time, bounded) until exactly `count` handles are open; the
  // server closes a vanished client's handle on its own thread.
  bool waitForOpenHandles(int count, std::chrono::milliseconds timeout) const;
  // Calls that overlapped on one handle (the transport should prevent it).
  int overlappingCalls() const { return overlaps_.load(); }

 private:
  class Handle;

  ControlResult serve(std::uint32_t code, std::span<const std::uint8_t> input, std::span<std::uint8_t> output);
  void closed();

  const int maxHandles_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  int openHandles_ = 0;
  std::atomic<bool> unplugged_{false};
  std::atomic<int> overlaps_{0};
};

}  // namespace kqa::ioctl::testing
