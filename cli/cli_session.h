#pragma once

#include <ostream>
#include <string>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/device/startup.h"
#include "app/sniffer/sniffer_buffer.h"
#include "cli/terminal_prompt.h"

namespace kqa::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the device or an operation failed
inline constexpr int kExitUsage = 2;   // bad arguments

// Everything a command works with: the device context and the state start-up
// filled, the capture buffer (taken when a capture first needs it), the
// prompt it reports through, and where its output goes. runOn owns them.
struct CliSession {
  device::DeviceContext& device;
  device::ConfigMemoryMode& memoryMode;
  device::ChannelState& channels;
  sniffer::SnifferBuffer& snifferBuffer;
  TerminalPrompt& prompt;
  device::StartupReport startup;
  std::string deviceDescription;
  bool emulated = false;
  std::ostream& out;
  std::ostream& err;
  // The driver runs in this process: activities a command starts end with it.
  bool driverInProcess = true;
};

}  // namespace kqa::cli
