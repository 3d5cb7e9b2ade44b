#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/sniffer/capture_filter.h"
#include "app/sniffer/capture_store.h"
#include "app/sniffer/packet_list_model.h"
#include "app/sniffer/pcap_export.h"
#include "app/sniffer/sniffer_buffer.h"

namespace kqa::sniffer {

// The texts the page shows.
namespace texts {
inline constexpr std::string_view kStartCapture = "Start &Capture";
inline constexpr std::string_view kStopCapture = "Stop &Capture";
inline constexpr std::string_view kNoSnifferMemory =
    "Driver's Non-Page Memory is too small, don't support sniffer mode!";
inline constexpr std::string_view kPacketFileNotOpened = "Packet File not opened!";
inline constexpr std::string_view kPacketFileNotWritten = "Packet File not written completely!";
inline constexpr std::string_view kPcapFileNotOpened = "pcap File not opened!";
inline constexpr std::string_view kPcapFileNotWritten = "pcap File not written completely!";
inline constexpr std::string_view kPacketFileFilter = "Packet File (*.pac)|*.pac||";
inline constexpr std::string_view kPcapFileFilter = "Wireshark pcap File (*.pcap)|*.pcap||";
}  // namespace texts

// Everything the "Sniffer" page does, without the widgets: capture start
// and stop, the 500 ms collection tick, the filters, the 20,000-record store
// with Wrap Around, the list's rows, the data dialog's record, ".pac" save
// and load, and pcap export. Reaches the chip through the device layer and
// the user through the context's prompt; waits through the context's clock.
// Reads the RSSI calibration for pcap through the configuration-memory mode
// and keeps its records in the program's capture buffer.
//
// The page widget holds one, mirrors its check boxes into `filter` and
// `wrapAround`, forwards "Start Capture", its timer (every 500 ms while
// capturing() is true), the file buttons and double clicks, and after each
// call announces the list's new rows (PacketListModel::pendingUpdate).
//
// Start/stop and the tick each hold the page's lock for their whole work;
// the lock may be taken again by the thread that holds it.
class CaptureSession {
 public:
  CaptureSession(device::DeviceContext& device, device::ConfigMemoryMode& memoryMode,
                 SnifferBuffer& snifferBuffer);
  // Stops a running capture (the page window is destroyed).
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  CaptureFilter filter;
  bool wrapAround = false;

  // First display: opens the device (without one, "Start Capture" and "Save
  // File..." are disabled), takes the store and the transfer buffer ("Memory
  // allocation failed!"), and asks the driver whether it has its capture
  // ring (without: "Driver's Non-Page Memory is too small, don't support
  // sniffer mode!" and "Start Capture" disabled).
  void initialize();
  bool startEnabled() const { return startEnabled_; }
  bool saveEnabled() const { return saveEnabled_; }

  // The MAC filter edit. A text that is not 12 hexadecimal digits is refused
  // with a message and the filter stays as it was (false).
  bool setMacFilterText(std::string_view text);
  const std::string& macFilterText() const { return macFilterText_; }

  // "Start Capture" / "Stop Capture". Starting sets MAC 0x1004 bit 3 (the
  // receiver takes every frame), empties the store and the list, and starts
  // the driver's capture (0x223668); stopping clears the bit, stops the
  // driver's capture (0x22366C) and waits 1 ms. A start whose register read
  // fails stays idle.
  void startStop();
  // Stops a running capture (device gone, sheet closing); idle: nothing.
  void stopCapture();
  bool capturing() const { return capturing_; }
  std::string_view startLabel() const {
    return capturing_ ? texts::kStopCapture : texts::kStartCapture;
  }

  // The 500 ms tick: reads what the driver's capture ring holds (0x223670)
  // and stores and lists the records the filter keeps. At 20,000 records it
  // stops the capture, or with Wrap Around empties the list and starts again
  // at index 0. A failed read changes nothing.
  void tick();

  // The list's rows and the store behind them (row i is record i).
  PacketListModel& rows() { return rows_; }
  const PacketListModel& rows() const { return rows_; }
  const CaptureStore& store() const { return store_; }
  // Records with the CRC error bit received since the capture started,
  // listed or not (not shown).
  std::uint64_t crcErrorCount() const { return crcErrors_; }
  // D: the header before the frame, from the chip's identity (32 on a
  // Kestrel, and when no chip has answered).
  std::size_t headerSize() const;

  // The data dialog: the record of a row, its descriptor (the first D bytes)
  // and its frame (frame size bytes from D, cut to the record), both views
  // into the stored record that the hex edit controls edit in place.
  struct RecordBytes {
    std::span<std::uint8_t> descriptor;
    std::span<std::uint8_t> frame;
  };
  // Double click: no row selected does nothing (nullopt).
  std::optional<RecordBytes> openRecord(std::optional<std::size_t> row);
  std::optional<std::size_t> selectedRecord() const { return selected_; }
  // After the dialog edited the record: its row is decoded again.
  void recordEdited(std::size_t row);

  // "Save File...", "Load File...", and the pcap export, through the file
  // dialogs; a path without '.' gets ".pac" (".pcap").
  void saveFile();
  void loadFile();
  void exportPcap();

  // The same without a dialog, for the command line; true when done (a
  // problem has been shown). A load that was not whole keeps what was whole
  // and says so.
  bool savePacTo(const std::string& path);
  bool loadPacFrom(const std::string& path);
  bool exportPcapTo(const std::string& path);

  // The capture channel, for the pcap export (set when the command line
  // tuned it); unknown: the beacons name it.
  std::optional<int> channel;

 private:
  void start();
  void stop();
  bool ensureStore();
  void keep(std::span<const std::uint8_t> record, const PacketRow& row);
  PcapOptions pcapOptions();

  device::DeviceContext& device_;
  device::ConfigMemoryMode& memoryMode_;
  SnifferBuffer& snifferBuffer_;
  std::recursive_mutex lock_;
  bool capturing_ = false;
  bool startEnabled_ = true;
  bool saveEnabled_ = true;
  std::string macFilterText_{kDefaultMacFilterText};
  std::vector<std::uint8_t> transfer_;
  CaptureStore store_;
  PacketListModel rows_;
  std::uint64_t crcErrors_ = 0;
  std::optional<std::size_t> selected_;
};

}  // namespace kqa::sniffer
