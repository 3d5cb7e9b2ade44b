#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "app/device/connection.h"
#include "app/device/device_context.h"

namespace kqa::device {

// The driver's transmit and receive pipelines and their counters, as the
// TX/RX bench, the measurement pages and the command line use them. Each
// call first makes sure a connection is open (error 1167 when none can be)
// and shows nothing: the caller words its own message from the result.

// The input of 0x223650: what a transmit run sends.
struct TxStartBlock {
  std::uint32_t count = 0;       // packets; 0 sends until stopped
  std::uint32_t queueFlags = 0;  // bit n: OUT pipe (queue slot) n
  std::uint32_t frameType = 0;   // the driver's payload mode
  std::uint32_t nextValid = 0;   // 1: resend the packet marked by bit 16 once more
  std::uint32_t sequenceDebug = 0;  // 1: stamp the frames and check the stamps on receipt
};

// Hands one driver TX record (slot word, length word, packet) to its slot,
// 0x22364C.
CallResult LoadTxRecord(DeviceContext& device, std::span<const std::uint8_t> record);
// Starts the pipelines of a run, 0x223650.
CallResult StartTxRun(DeviceContext& device, const TxStartBlock& block);
// Stops sending, 0x223648.
CallResult StopTxRun(DeviceContext& device);

// Reception on IN pipe 0 (0x223660 / 0x223664) or IN pipe 1 (0x223680 /
// 0x223684), started until stopped.
CallResult StartReception(DeviceContext& device, int pipe = 0);
CallResult StopReception(DeviceContext& device, int pipe = 0);

// Zeroes the receive statistics and the per-queue transmit counts, 0x223500.
CallResult ResetPipelineCounters(DeviceContext& device);

// The statistics block of 0x223504 as 64 little-endian words (the driver
// fills the first 24; the rest read 0). Succeeds when at least those 24
// words came back.
using RxStatisticsWords = std::array<std::uint32_t, 64>;
CallResult QueryRxStatistics(DeviceContext& device, RxStatisticsWords& words);

// The TX progress block of 0x223508: packets sent in the run, then per
// queue slot 0-9.
using TxProgressWords = std::array<std::uint32_t, 11>;
CallResult QueryTxProgress(DeviceContext& device, TxProgressWords& words);

// Transfers received on IN pipe 1 since its start (0x223524, first word).
CallResult QueryRx1Transfers(DeviceContext& device, std::uint32_t& transfers);

// The chip's 18-byte USB device descriptor as the driver read it, 0x222008.
using DeviceDescriptorBytes = std::array<std::uint8_t, 18>;
CallResult ReadDeviceDescriptor(DeviceContext& device, DeviceDescriptorBytes& descriptor);

}  // namespace kqa::device
