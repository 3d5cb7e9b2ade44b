#include "driver/vendor_requests.h"

#include <algorithm>
#include <vector>

#include "driver/driver_object.h"
#include "platform/bytes/little_endian.h"
#include "platform/clock/polling.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/stall.h"
#include "platform/usb/descriptors.h"

namespace kqa::driver {
namespace {

constexpr std::uint8_t kRegisterRead = 0x07;
constexpr std::uint8_t kRegisterWrite = 0x06;
constexpr std::uint16_t kRfControl = 0x1020;
constexpr std::uint32_t kRfBusy = 0x80000000;
constexpr std::uint16_t kTxControl = 0x0238;
constexpr std::uint32_t kTxResetBit = 1u << 19;

// How the stack reports a finished transfer in the request's own status.
NtStatus IrpStatusFor(usb::TransferStatus status) {
  switch (status) {
    case usb::TransferStatus::Completed: return STATUS_SUCCESS;
    case usb::TransferStatus::Cancelled:
    case usb::TransferStatus::Timeout: return STATUS_CANCELLED;
    case usb::TransferStatus::NoDevice: return STATUS_DEVICE_NOT_CONNECTED;
    default: return STATUS_UNSUCCESSFUL;
  }
}

NtStatus StackStatus(usb::TransferStatus status) {
  return status == usb::TransferStatus::Completed ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

}  // namespace

NtStatus SendInternalRequest(DeviceState& dx, const usb::SetupPacket& setup,
                             std::span<std::uint8_t> data, usb::TransferResult& result) {
  if (kernel::AtDispatchLevel()) {
    // A completion routine may not wait: the worker sends a copy and drops
    // whatever a read brings back.
    DriverOf(dx).SystemWorker.queue(
        [&dx, setup, bytes = std::vector<std::uint8_t>(data.begin(), data.end())]() mutable {
          usb::TransferResult ignored;
          SendInternalRequest(dx, setup, bytes, ignored);
        });
    return STATUS_PENDING;
  }

  Clock& clock = ClockOf(dx);
  const Clock::Duration deadline = clock.now() + kControlTimeout;
  kernel::Event done;
  const auto id = dx.LowerDevice->submitControl(setup, data, kControlTimeout,
                                                [&](usb::TransferResult finished) {
                                                  result = finished;
                                                  done.set();
                                                });
  if (!done.waitUntil(clock, deadline)) {
    dx.LowerDevice->cancel(id);
    done.wait();  // a cancelled transfer still completes; only then are the locals free
  }
  return IrpStatusFor(result.status);
}

NtStatus VendorRead(DeviceState& dx, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::span<std::uint8_t> buffer, std::size_t* received) {
  const usb::SetupPacket setup{usb::kVendorIn, request, value, index,
                               static_cast<std::uint16_t>(buffer.size())};
  usb::TransferResult result;
  const NtStatus status = SendInternalRequest(dx, setup, buffer, result);
  if (status == STATUS_PENDING) return status;
  if (!NT_SUCCESS(status) || !result.ok()) return STATUS_UNSUCCESSFUL;
  if (received) *received = result.length;
  return STATUS_SUCCESS;
}

NtStatus VendorWrite(DeviceState& dx, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                     std::span<const std::uint8_t> data) {
  const usb::SetupPacket setup{usb::kVendorOut, request, value, index,
                               static_cast<std::uint16_t>(data.size())};
  usb::TransferResult result;
  // The stack reads, never writes, a host-to-device data stage.
  std::span<std::uint8_t> bytes(const_cast<std::uint8_t*>(data.data()), data.size());
  const NtStatus status = SendInternalRequest(dx, setup, bytes, result);
  if (status == STATUS_PENDING) return status;
  return NT_SUCCESS(status) && result.ok() ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

NtStatus Read32(DeviceState& dx, std::uint16_t address, std::uint32_t& value) {
  std::uint8_t bytes[4];
  std::size_t received = 0;
  const NtStatus status = VendorRead(dx, kRegisterRead, 0, address, bytes, &received);
  if (status != STATUS_SUCCESS) return status;
  if (received < 4) return STATUS_UNSUCCESSFUL;
  value = GetLe32(bytes, 0);
  return STATUS_SUCCESS;
}

NtStatus Write32(DeviceState& dx, std::uint16_t address, std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  return VendorWrite(dx, kRegisterWrite, 0, address, bytes);
}

NtStatus Read8(DeviceState& dx, std::uint16_t address, std::uint8_t& value) {
  std::uint8_t byte = 0;
  std::size_t received = 0;
  const NtStatus status = VendorRead(dx, kRegisterRead, 0, address, std::span<std::uint8_t>(&byte, 1), &received);
  if (status != STATUS_SUCCESS || received < 1) return STATUS_UNSUCCESSFUL;
  value = byte;
  return STATUS_SUCCESS;
}

NtStatus Write8(DeviceState& dx, std::uint16_t address, std::uint8_t value) {
  return VendorWrite(dx, kRegisterWrite, 0, address, std::span<const std::uint8_t>(&value, 1));
}

NtStatus SetBits(DeviceState& dx, std::uint16_t address, std::uint32_t mask) {
  std::uint32_t value = 0;
  if (Read32(dx, address, value) != STATUS_SUCCESS) return STATUS_UNSUCCESSFUL;
  return Write32(dx, address, value | mask);
}

NtStatus ClearBits(DeviceState& dx, std::uint16_t address, std::uint32_t mask) {
  std::uint32_t value = 0;
  if (Read32(dx, address, value) != STATUS_SUCCESS) return STATUS_UNSUCCESSFUL;
  return Write32(dx, address, value & ~mask);
}

NtStatus RfWrite(DeviceState& dx, std::uint32_t word) {
  kernel::StallExecutionProcessor(ClockOf(dx), std::chrono::microseconds(200));
  const PollResult idle = PollUntil(ClockOf(dx), 10, Clock::Duration::zero(), [&] {
    std::uint32_t value = kRfBusy;
    Read32(dx, kRfControl, value);  // a failed read counts as busy
    return (value & kRfBusy) == 0;
  });
  if (!idle.satisfied) return STATUS_UNSUCCESSFUL;
  return Write32(dx, kRfControl, word);
}

NtStatus GetDescriptor(DeviceState& dx, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                       std::span<std::uint8_t> buffer, std::size_t& received) {
  const usb::SetupPacket setup{usb::kStandardInDevice, usb::kGetDescriptor,
                               static_cast<std::uint16_t>((type << 8) | index), language,
                               static_cast<std::uint16_t>(buffer.size())};
  usb::TransferResult result;
  const NtStatus status = SendInternalRequest(dx, setup, buffer, result);
  if (!NT_SUCCESS(status) || !result.ok()) return STATUS_UNSUCCESSFUL;
  received = result.length;
  return STATUS_SUCCESS;
}

NtStatus GetStatus(DeviceState& dx, std::uint8_t requestType, std::span<std::uint8_t, 2> buffer,
                   std::size_t& received) {
  const usb::SetupPacket setup{requestType, usb::kGetStatus, 0, 0, 2};
  usb::TransferResult result;
  const NtStatus status = SendInternalRequest(dx, setup, buffer, result);
  if (!NT_SUCCESS(status) || !result.ok()) return STATUS_UNSUCCESSFUL;
  received = result.length;
  return STATUS_SUCCESS;
}

NtStatus GetFrameInfo(DeviceState& dx, usb::FrameInfo& info) {
  return StackStatus(dx.LowerDevice->getFrameInfo(info));
}

NtStatus CheckPort(DeviceState& dx) {
  usb::PortStatus port;
  const usb::TransferStatus asked = dx.LowerDevice->getPortStatus(port);
  if (asked != usb::TransferStatus::Completed) return StackStatus(asked);
  if (!port.connected) return STATUS_NO_SUCH_DEVICE;
  if (port.enabled) return STATUS_SUCCESS;
  dx.LowerDevice->resetPort();
  if (dx.LowerDevice->getPortStatus(port) != usb::TransferStatus::Completed) return STATUS_NO_SUCH_DEVICE;
  return port.connected && port.enabled ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE;
}

void AssignPipes(std::span<const usb::PipeInformation> pipes, std::array<usb::PipeHandle, kInPipes>& in,
                 std::array<usb::PipeHandle, kOutPipes>& out) {
  in.fill(0);
  out.fill(0);
  std::size_t inCount = 0;
  std::size_t outCount = 0;  // k - 1
  for (const usb::PipeInformation& pipe : pipes) {
    if (pipe.pipeType != usb::kTransferBulk) continue;
    if (pipe.isIn()) {
      if (inCount < kInPipes) in[inCount] = pipe.handle;
      ++inCount;
      continue;
    }
    const std::size_t k = ++outCount;
    if (k == 1) {
      out[5] = pipe.handle;
    } else if (k <= 6) {
      out[k - 2] = pipe.handle;
    } else if (k <= 10) {
      out[k - 1] = pipe.handle;
    }
  }
}

NtStatus Configure(DeviceState& dx) {
  std::uint8_t header[25] = {};
  std::size_t received = 0;
  if (GetDescriptor(dx, usb::kConfigurationDescriptor, 0, 0, std::span<std::uint8_t>(header, 9), received) !=
      STATUS_SUCCESS)
    return STATUS_UNSUCCESSFUL;
  const auto parsed = usb::ParseConfigurationHeader(std::span<const std::uint8_t>(header, received));
  if (!parsed) return STATUS_UNSUCCESSFUL;

  auto descriptors = DriverOf(dx).Pool.allocate(parsed->totalLength + 16u);
  if (!descriptors) return STATUS_INSUFFICIENT_RESOURCES;
  std::span<std::uint8_t> set(descriptors.get(), parsed->totalLength);
  if (GetDescriptor(dx, usb::kConfigurationDescriptor, 0, 0, set, received) != STATUS_SUCCESS)
    return STATUS_UNSUCCESSFUL;

  auto interface = usb::FindFirstInterface(set.first(received));
  if (!interface) return STATUS_NO_SUCH_DEVICE;
  if (dx.LowerDevice->selectConfiguration(parsed->configurationValue, interface->interfaceNumber,
                                          interface->alternateSetting,
                                          interface->pipes) != usb::TransferStatus::Completed)
    return STATUS_UNSUCCESSFUL;
  dx.ConfigurationHandle = parsed->configurationValue;
  AssignPipes(interface->pipes, dx.InPipeHandle, dx.OutPipeHandle);
  return STATUS_SUCCESS;
}

NtStatus Deconfigure(DeviceState& dx) {
  dx.ConfigurationHandle.reset();
  dx.InPipeHandle.fill(0);
  dx.OutPipeHandle.fill(0);
  return StackStatus(dx.LowerDevice->deconfigure());
}

NtStatus QueryBus(DeviceState& dx) {
  usb::BusInformation bus;
  return StackStatus(dx.LowerDevice->getBusInformation(bus));
}

void QueueRecovery(DeviceState& dx, bool toggleTxReset) {
  if (toggleTxReset) dx.RecoveryToggle = 1;
  if (dx.RecoveryQueued.exchange(1)) return;  // the waiting one will see the toggle
  DriverOf(dx).SystemWorker.queue([&dx] {
    dx.RecoveryQueued = 0;
    const bool toggle = dx.RecoveryToggle.exchange(0) != 0;
    CheckPort(dx);
    if (toggle) {
      SetBits(dx, kTxControl, kTxResetBit);
      ClearBits(dx, kTxControl, kTxResetBit);
    }
  });
}

}  // namespace kqa::driver
