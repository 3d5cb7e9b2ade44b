#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/device/device_context.h"
#include "app/txrx/run_settings.h"
#include "app/txrx/tx_frame.h"

namespace kqa::txrx {

// The registers a build writes, in this order: WCID entry 1 (the station
// address, MAC 0x1808/0x180C), its key (0x8000 + 32 x WCID pairwise, 0xAC00
// shared) with the test MIC keys, its IV entry (0xA008), its attribute
// (0x6804) and, with the shared table, the shared key mode (0xB000); the
// WMM registers (0x0214, 0x0218, 0x021C); the inter-packet gap (0x1100,
// 0x1300-0x130C); RDG (MAC 0x1350 bit 11) when QoS Data offers it.
//
// An IPG of 256 or more is divided by the slot time in MAC 0x1104; when
// that reads 0 the run is refused before the first write, with `problem`
// saying why. Returns false when a register access failed (the device
// layer has said so) or the run was refused.
bool WriteRunRegisters(device::DeviceContext& device, const RunRegisterValues& values,
                       std::string& problem);

// "Set TxD" accepted: the WMM registers, then the TXOP registers 0x0220
// to 0x022C (two decimal TXOPs a register, each masked to 16 bits). The
// TXOP texts are checked first: `problem` names a bad one and nothing is
// written.
bool WriteDescriptorDialogRegisters(device::DeviceContext& device, const DescriptorSettings& settings,
                                    std::string& problem);

// The dialog's "RG2 WMM0" and "RG2 WMM1" switch MAC 0x0230 bit 31; the
// other two selections write nothing.
bool WriteWmmSelection(device::DeviceContext& device, int wmmSelection);

// The fixed 8-byte MIC keys of the test key entry.
inline constexpr std::array<std::uint8_t, 8> kTxMicKey = {0x5D, 0x27, 0xE0, 0xB3, 0x91, 0x6A, 0x4C, 0xF8};
inline constexpr std::array<std::uint8_t, 8> kRxMicKey = {0xA4, 0x0E, 0x6F, 0x92, 0xC5, 0x7B, 0x13, 0xD8};

}  // namespace kqa::txrx
