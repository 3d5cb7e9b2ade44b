#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "app/device/shared_settings.h"
#include "platform/clock/clock.h"
#include "platform/ioctl/device_interface.h"
#include "platform/prompt/prompt.h"

namespace kqa::device {

// The open handle on the driver's device interface, or none. Calls take a
// shared copy, so a close on one thread (error 1167) never pulls the handle
// from under a call still in flight on another (the capture worker).
class DeviceHandleSlot {
 public:
  std::shared_ptr<ioctl::DeviceHandle> get() const;
  bool isOpen() const { return get() != nullptr; }
  void reset(std::shared_ptr<ioctl::DeviceHandle> handle = nullptr);
  // Empties the slot only while it still holds `handle`, so that a late 1167
  // from an old handle cannot close a connection opened since.
  void resetIfHolding(const ioctl::DeviceHandle* handle);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<ioctl::DeviceHandle> handle_;
};

// Where the connection's traces go ("Symbolic link is ...\n"); the window
// program prints them on standard output, the command-line tool on request.
using TraceSink = std::function<void(std::string_view text)>;
TraceSink StandardOutputTrace();

// The device: the connection to it, what it is, and the services the device
// layer reaches it through (the device interface, the user prompt and the
// clock), so `RegisterAccess(device)` is all a page writes to reach the chip.
// The program's main owns it for the whole run and hands it to the pages by
// reference. The rest of the program's state has types of its own
// (README.md, "Where the state lives"): the configuration-memory mode
// (config_memory_mode.h), the channel state (channel_state.h), the page
// flags (app/shell) and the capture buffer (app/sniffer).
//
// Threads: the UI thread owns every field. The capture worker may call the
// register operations concurrently; they read only `hDevice`, `asicVersion`
// and `eepromWord34`, which the UI thread sets before the worker starts.
struct DeviceContext {
  DeviceContext(ioctl::DeviceInterfaceProvider& provider, Prompt& prompt, Clock& clock);
  DeviceContext(const DeviceContext&) = delete;
  DeviceContext& operator=(const DeviceContext&) = delete;

  ioctl::DeviceInterfaceProvider& provider;
  Prompt& prompt;
  Clock& clock;
  TraceSink trace;

  // The driver connection (connection.h opens, closes and calls it).
  DeviceHandleSlot hDevice;
  std::mutex openLock;  // one open or close at a time
  // Why the last open failed (set under openLock): no instance means no
  // chip, error 32 that another program has it open.
  ioctl::DeviceInterfaceProvider::OpenFailure lastOpenFailure =
      ioctl::DeviceInterfaceProvider::OpenFailure::None;
  Win32Error lastOpenError = ERROR_SUCCESS;

  // Chip identity, MAC register 0x0000 read at start-up; 0 without a device.
  std::uint32_t asicVersion = 0;
  std::uint32_t txwiSize = 0;
  std::uint32_t rxHeaderSize = 0;

  // What the pages share besides the channel: the RF bank, the TX power and
  // frequency offset settings, the product id.
  SharedSettings settings;

  // The board's radio words from the configuration memory, copied at the
  // TX/RX page's start. The low nibble of word 0x34 is the number of receive
  // paths, for which register access writes BBP R66 once each.
  std::uint16_t eepromWord42 = 0;
  std::uint16_t eepromWord36 = 0;
  std::uint16_t eepromWord34 = 0;


  // Sequence number of the next firmware command (1..15).
  std::uint8_t qaCmdSequence = 1;

  // Keeps the multi-step BBP and RF command-register sequences of two
  // threads from interleaving on the one command register.
  std::recursive_mutex indirectRegisterLock;
  // The register sequence in progress (register_sequence.h), under that lock:
  // how deeply nested, and the handle its device bracket was taken on.
  int sequenceDepth = 0;
  std::shared_ptr<ioctl::DeviceHandle> sequenceHandle;
};

}  // namespace kqa::device
