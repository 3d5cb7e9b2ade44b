#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "driver/device_state.h"
#include "platform/status/ntstatus.h"
#include "platform/usb/usb_device.h"

namespace kqa::driver {

// USB control requests and the register primitives built on them. Every
// primitive returns a status and never retries (RfWrite's busy polling
// aside); a failed read leaves the caller's buffer as it was.

inline constexpr auto kControlTimeout = std::chrono::seconds(1);

// Sends one control transfer on the default pipe to LowerDevice and waits at
// most kControlTimeout for it, then cancels it and waits for the cancelled
// transfer to finish. Called at dispatch level (from a completion routine) it
// hands the request to the system worker thread and returns STATUS_PENDING at
// once; the caller then gets no data back.
NtStatus SendInternalRequest(DeviceState& dx, const usb::SetupPacket& setup,
                             std::span<std::uint8_t> data, usb::TransferResult& result);

// Vendor requests to the device; any failure is STATUS_UNSUCCESSFUL.
NtStatus VendorRead(DeviceState& dx, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::span<std::uint8_t> buffer, std::size_t* received = nullptr);
NtStatus VendorWrite(DeviceState& dx, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                     std::span<const std::uint8_t> data);

NtStatus Read32(DeviceState& dx, std::uint16_t address, std::uint32_t& value);
NtStatus Write32(DeviceState& dx, std::uint16_t address, std::uint32_t value);
NtStatus Read8(DeviceState& dx, std::uint16_t address, std::uint8_t& value);
NtStatus Write8(DeviceState& dx, std::uint16_t address, std::uint8_t value);
// Read-modify-write; nothing is written when the read fails, so a failed
// read never puts a made-up value into the chip.
NtStatus SetBits(DeviceState& dx, std::uint16_t address, std::uint32_t mask);
NtStatus ClearBits(DeviceState& dx, std::uint16_t address, std::uint32_t mask);
// RF serial write through register 0x1020: waits 200 us, then polls the busy
// bit (31) up to 10 times and writes only once it reads 0.
NtStatus RfWrite(DeviceState& dx, std::uint32_t word);

// Standard requests.
NtStatus GetDescriptor(DeviceState& dx, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                       std::span<std::uint8_t> buffer, std::size_t& received);
// GET_STATUS to the device, interface 0 or endpoint 0 (bmRequestType 0x80,
// 0x81 or 0x82) into two bytes.
NtStatus GetStatus(DeviceState& dx, std::uint8_t requestType, std::span<std::uint8_t, 2> buffer,
                   std::size_t& received);
NtStatus GetFrameInfo(DeviceState& dx, usb::FrameInfo& info);

// Hub port: succeeds when the port is connected and enabled, resetting it
// once when it is connected but disabled.
NtStatus CheckPort(DeviceState& dx);

// Selects the first interface of the device's configuration and records its
// bulk pipes; Deconfigure releases the configuration.
NtStatus Configure(DeviceState& dx);
NtStatus Deconfigure(DeviceState& dx);

// Bus information and host controller name (the answers are not used).
NtStatus QueryBus(DeviceState& dx);

// Pipe assignment: the first two bulk IN pipes are IN pipes 0 and 1; bulk OUT
// pipe k (1, 2, ...) is OUT pipe 5 for k = 1, k - 2 for k = 2..6 and k - 1
// for k = 7..10, so the first keeps pipe 5; later ones are ignored.
void AssignPipes(std::span<const usb::PipeInformation> pipes,
                 std::array<usb::PipeHandle, kInPipes>& in,
                 std::array<usb::PipeHandle, kOutPipes>& out);

// The hand-over of a transfer error's recovery to the system worker thread:
// a port check, then bit 19 of register 0x0238 set and cleared. One recovery
// waits in the queue at a time; further requests while it waits are merged.
void QueueRecovery(DeviceState& dx, bool toggleTxReset);

}  // namespace kqa::driver
