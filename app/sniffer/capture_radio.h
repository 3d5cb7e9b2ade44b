#pragma once

#include <optional>

#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/sniffer/pcap_export.h"

namespace kqa::sniffer {

// Tunes the receiver to a 2.4 GHz channel (1-14) for a capture from the
// command line: the synthesizer values of the channel's row in the channel
// table (channel_table.h), written into RF bank 0 as the TX/RX page's channel change
// writes them (R20; R21 bit 0; R16 bits 0-3; R22 bits 0-2; R17; R18; R19
// bits 0-1; each after a read). False, with nothing written, for a channel
// outside the table or when the first RF read fails (the device layer has
// said why).
bool TuneChannel(device::DeviceContext& device, int channel);

// The board's RSSI offset of receive path 0 and its band LNA gain from the
// configuration memory, for turning the descriptor's RSSI into dBm; nullopt
// when they cannot be read.
std::optional<SignalCalibration> ReadSignalCalibration(device::ConfigMemory memory, int channel);

}  // namespace kqa::sniffer
