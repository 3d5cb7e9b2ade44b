#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/shell/page/outcome.h"
#include "app/shell/page/progress.h"
#include "app/txrx/firmware_image_file.h"

namespace kqa::txrx {

// What the chip and the driver say about the MCU's firmware.
struct FirmwareStatus {
  std::uint32_t mode = 0;     // the driver's firmware mode word
  std::uint32_t version = 0;  // the firmware version word
  bool running = false;       // SYS 0x0230 bit 0
  bool ready = false;         // the bench's "firmware ready"
};

// The MCU firmware of the TX/RX bench: the download of "Kestrel.bin", the
// "Load Firmware" of a headerless image and "Send FwCmd" of a command file,
// and the raw firmware command exchange.
//
// A file is read and checked whole before anything reaches the chip: a file
// larger than the 128 000-byte buffer, or shorter than its header says, is
// refused with a message and nothing is sent. A download stops at the first
// control code that fails, and a chunk counts as sent only when the driver
// reports it sent; the MCU must then report that it runs (SYS 0x0230 bit 0).
// Only then does "firmware ready" (settings.firmwareReady) become true; a
// failed download leaves it clear.
class FirmwareLoader {
 public:
  using Outcome = page::Outcome;

  explicit FirmwareLoader(device::DeviceContext& device) : device_(device) {}

  // Where "Kestrel.bin" is looked for, first match wins.
  std::vector<std::filesystem::path> search = DefaultFirmwareSearch();
  page::Progress progress;  // bytes sent of the image

  // The file the last download or load used (empty: none found).
  const std::string& lastFile() const { return lastFile_; }

  // Downloads the first "Kestrel.bin" of `search` and starts the MCU. None
  // found: "Can not load the firmware \"Kestrel.bin\"" and Failed.
  Outcome downloadKestrelBin();
  // Downloads "Kestrel.bin" from `path`.
  Outcome downloadFile(const std::filesystem::path& path);
  // "Load Firmware": the headerless image at `path`.
  Outcome loadHeaderless(const std::filesystem::path& path);
  // "Load Firmware" with the open dialog; Cancelled when none was chosen.
  Outcome chooseAndLoadHeaderless();
  // "Send FwCmd": the packet of the command file at `path` as a TX record.
  Outcome sendCommandFile(const std::filesystem::path& path);
  Outcome chooseAndSendCommandFile();

  // One command exchange (command id 0-127, at most 128 bytes of payload)
  // with the running firmware; `response` gets its 132 bytes. Refused, with
  // a message, while the firmware does not run; Failed without an answer.
  // `receiving` is the bench's RX-running flag (the exchange switches
  // reception on for its wait when it is clear).
  Outcome command(std::uint8_t id, std::span<const std::uint8_t> payload, bool& receiving,
                  std::vector<std::uint8_t>& response);

  // Mode, version and whether the MCU runs; false when a query failed.
  bool readStatus(FirmwareStatus& status);
  // "firmware ready" from the chip: true while the MCU runs.
  bool adoptRunningState();

 private:
  Outcome download(const FirmwareParts& parts, const std::string& file);
  bool prepareMcu();
  bool sendChunks(std::span<const std::uint8_t> memory, std::uint32_t base, std::size_t& sent,
                  std::size_t total);
  bool sendPacket(std::span<const std::uint8_t> packet);
  bool mcuRunning();
  Outcome refuse(const std::string& problem);
  Outcome fail(const std::string& problem);

  device::DeviceContext& device_;
  std::string lastFile_;
};

}  // namespace kqa::txrx
