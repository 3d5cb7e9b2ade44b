#include "driver/host/in_process_handle.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/status/win32_error.h"

namespace kqa::driver {

InProcessHandle::InProcessHandle(std::shared_ptr<HostCore> core, std::shared_ptr<HostedDevice> device)
    : core_(std::move(core)), device_(std::move(device)) {}

InProcessHandle::~InProcessHandle() {
  Irp irp;
  irp.MajorFunction = IrpMajor::Close;
  IoCallDriver(*device_->object, irp);
  core_->handleClosed(device_);
}

ioctl::ControlResult InProcessHandle::control(std::uint32_t code, std::span<const std::uint8_t> input,
                                              std::span<std::uint8_t> output) {
  constexpr std::size_t kMaxLength = std::numeric_limits<std::uint32_t>::max();
  if (input.size() > kMaxLength || output.size() > kMaxLength) return {ERROR_INVALID_PARAMETER, 0};

  // METHOD_BUFFERED: one system buffer, input copied in, output copied back.
  std::vector<std::uint8_t> systemBuffer(std::max(input.size(), output.size()));
  if (!input.empty()) std::memcpy(systemBuffer.data(), input.data(), input.size());
  Irp irp;
  irp.MajorFunction = IrpMajor::DeviceControl;
  irp.IoControlCode = code;
  irp.InputBufferLength = static_cast<std::uint32_t>(input.size());
  irp.OutputBufferLength = static_cast<std::uint32_t>(output.size());
  irp.SystemBuffer = systemBuffer.data();
  const NtStatus status = IoCallDriver(*device_->object, irp);
  if (!NT_SUCCESS(status)) return {Win32ErrorFromNtStatus(status), 0};

  const std::size_t count = std::min<std::size_t>(irp.Information, output.size());
  if (count > 0) std::memcpy(output.data(), systemBuffer.data(), count);
  return {ERROR_SUCCESS, static_cast<std::uint32_t>(count)};
}

}  // namespace kqa::driver
