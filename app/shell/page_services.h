#pragma once

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/shell/sheet_layout.h"

namespace kqa::sniffer {
class SnifferBuffer;  // app/sniffer/sniffer_buffer.h
}

namespace kqa::shell {

// What main hands the page factories: each piece of the program's state by
// reference (the owner keeps them for the whole run), and the page flags
// the command line chose. A page hands its logic only the pieces it uses:
// `tool_(services.device)`, `session_(services.device, services.memoryMode,
// services.snifferBuffer)`.
struct PageServices {
  device::DeviceContext& device;          // the chip, the prompt, the clock
  device::ConfigMemoryMode& memoryMode;   // the configuration memory's back end and image
  device::ChannelState& channels;         // the channel tables and the shared channel index
  sniffer::SnifferBuffer& snifferBuffer;  // the sniffer's capture buffer
  PageFlags flags;                        // the optional pages shown

  // The configuration-memory operations' view (config_memory.h).
  device::ConfigMemory configMemory() const { return {device, memoryMode}; }
};

}  // namespace kqa::shell
