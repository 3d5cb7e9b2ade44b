// A. USB standard queries: sent through the USB stack, answered as far as the
// output buffer holds them; a failed request answers 0 bytes.
#include <algorithm>
#include <array>
#include <cstring>

#include "driver/control_request.h"
#include "driver/driver_object.h"
#include "driver/vendor_requests.h"

namespace kqa::driver::actions {
namespace {

std::uint32_t CopyOut(ControlRequest& request, const std::uint8_t* bytes, std::size_t length) {
  const std::size_t n = std::min<std::size_t>(length, request.OutputLength);
  if (n > 0) std::memcpy(request.data(), bytes, n);
  return static_cast<std::uint32_t>(n);
}

}  // namespace

NtStatus GetDeviceDescriptor(DeviceState& dx, ControlRequest& request) {
  auto descriptor = DriverOf(dx).Pool.allocate(18);
  if (!descriptor) return STATUS_SUCCESS;
  std::size_t received = 0;
  if (driver::GetDescriptor(dx, usb::kDeviceDescriptor, 0, 0, std::span<std::uint8_t>(descriptor.get(), 18),
                            received) == STATUS_SUCCESS)
    request.Information = CopyOut(request, descriptor.get(), received);
  return STATUS_SUCCESS;
}

NtStatus GetConfigurationDescriptor(DeviceState& dx, ControlRequest& request) {
  std::uint8_t header[9] = {};
  std::size_t received = 0;
  if (driver::GetDescriptor(dx, usb::kConfigurationDescriptor, 0, 0, header, received) != STATUS_SUCCESS ||
      received < 4)
    return STATUS_SUCCESS;
  const std::uint16_t totalLength = GetLe16(header, 2);
  auto set = DriverOf(dx).Pool.allocate(totalLength + 16u);
  if (!set) return STATUS_SUCCESS;
  if (driver::GetDescriptor(dx, usb::kConfigurationDescriptor, 0, 0,
                            std::span<std::uint8_t>(set.get(), totalLength), received) == STATUS_SUCCESS)
    request.Information = CopyOut(request, set.get(), received);
  return STATUS_SUCCESS;
}

NtStatus GetStatus(DeviceState& dx, ControlRequest& request) {
  // Device, interface 0, endpoint 0, in that order; a short answer ends the
  // sequence with the six bytes as they stand.
  static constexpr std::uint8_t kRecipients[3] = {usb::kStandardInDevice, usb::kStandardInInterface,
                                                  usb::kStandardInEndpoint};
  std::array<std::uint8_t, 6> status{};
  for (std::size_t i = 0; i < 3; ++i) {
    std::size_t received = 0;
    if (driver::GetStatus(dx, kRecipients[i], std::span<std::uint8_t, 2>(status.data() + 2 * i, 2), received) !=
        STATUS_SUCCESS)
      return STATUS_SUCCESS;  // 0 bytes
    if (received != 2) break;
  }
  request.Information = CopyOut(request, status.data(), status.size());
  return STATUS_SUCCESS;
}

NtStatus GetFrameInfo(DeviceState& dx, ControlRequest& request) {
  usb::FrameInfo info;
  if (driver::GetFrameInfo(dx, info) != STATUS_SUCCESS) return STATUS_SUCCESS;
  std::uint8_t bytes[12];
  PutLe32(bytes, 0, info.frameLength);
  PutLe32(bytes, 4, info.frameNumber);
  PutLe32(bytes, 8, info.frameNumberWithLength);
  request.Information = CopyOut(request, bytes, sizeof bytes);
  return STATUS_SUCCESS;
}

}  // namespace kqa::driver::actions
