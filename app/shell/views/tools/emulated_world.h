#pragma once

#include <memory>
#include <string>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/device/startup.h"
#include "app/shell/page_services.h"
#include "app/sniffer/sniffer_buffer.h"
#include "devices/device_select.h"
#include "platform/clock/clock.h"
#include "platform/prompt/scripted_prompt.h"

// The program's state on an emulated chip, set up as the program's main
// sets it up, for the screenshot tool's sheets. The prompt answers dialogs
// without showing them.
struct EmulatedWorld {
  // Null, with the reason on standard error, when the chip cannot be opened.
  static std::unique_ptr<EmulatedWorld> Open(const kqa::devices::DeviceChoice& choice,
                                             const kqa::device::StartupOptions& startup = {},
                                             kqa::shell::PageFlags flags = {});

  explicit EmulatedWorld(std::unique_ptr<kqa::devices::OpenedDevice> opened, kqa::shell::PageFlags flags);

  std::unique_ptr<kqa::devices::OpenedDevice> chip;
  kqa::ScriptedPrompt prompt;
  kqa::device::DeviceContext device;
  kqa::device::ConfigMemoryMode memoryMode;
  kqa::device::ChannelState channels;
  kqa::sniffer::SnifferBuffer snifferBuffer;
  kqa::shell::PageServices services;
};
