#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

#include "app/device/channel_table.h"
#include "app/device/test_bench_settings.h"
#include "platform/clock/clock.h"
#include "platform/ioctl/device_interface.h"
#include "platform/prompt/prompt.h"

namespace kqa::device {

inline constexpr std::size_t kEepromImageSize = 1024;
inline constexpr std::size_t kSnifferBufferSize = 81'920'000;

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

// The program's one record of device and test state. The program's main owns
// it for the whole run and hands it to every page by reference; it also
// carries the services the device layer needs (the device interface, the
// user prompt and the clock), so `RegisterAccess(device)` is all a page
// writes to reach the chip.
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

  // Configuration memory: the in-memory image and the back-end flags
  // (config_memory.h routes every access by them).
  std::array<std::uint8_t, kEepromImageSize> eepromImage{};
  // The bytes of eepromImage the buffer back end serves: all of them, or
  // as many as the image file held (image_file.h).
  std::size_t eepromImageSize = kEepromImageSize;
  bool eepromFileLoaded = false;
  bool bufferMode = false;
  bool efuseMode = false;
  bool efuseWriteNoConfirm = false;
  std::uint16_t efuseAreaStart = 0;
  std::uint16_t efuseAreaEnd = 0;
  std::uint16_t efuseAreaSize = 0;

  // Channel tables, set at start-up.
  std::span<const std::string_view> channelNameTable;
  std::span<const ChannelParams> channelParams;
  std::span<const std::uint16_t> channelList;
  int channelCount = 0;
  int channelIndex = 0;

  // Optional pages chosen on the command line.
  bool showFftPages = false;
  bool showPapdPage = false;
  bool showIqCalPage = false;

  // EEPROM words the TX/RX page copies at its start; the low nibble of
  // word 0x34 is the number of receive paths.
  std::uint16_t eepromWord42 = 0;
  std::uint16_t eepromWord36 = 0;
  std::uint16_t eepromWord34 = 0;

  // The TX/RX test bench's values that other pages read.
  TestBenchSettings testBench;

  // Sequence number of the next firmware command (1..15).
  std::uint8_t qaCmdSequence = 1;

  // The sniffer's capture buffer; the program allocates kSnifferBufferSize
  // bytes at start (see startup.h for the message when it cannot).
  std::vector<std::uint8_t> snifferBuffer;

  // Keeps the multi-step BBP and RF command-register sequences of two
  // threads from interleaving on the one command register.
  std::recursive_mutex indirectRegisterLock;
};

}  // namespace kqa::device
