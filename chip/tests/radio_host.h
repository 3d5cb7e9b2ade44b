#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "chip/kestrel.h"
#include "chip/radio/mac_frames.h"
#include "chip/radio/phy_rate.h"
#include "chip/tests/test_host.h"
#include "platform/clock/virtual_clock.h"

namespace kqa::chip::testing {

// The synthesizer values a channel change writes into RF bank 0 for channels
// 1-14 (R20, R17, R18, R19), as the program's channel table holds them.
struct SynthesizerRow {
  int channel;
  std::uint8_t r20, r17, r18, r19;
};
extern const std::array<SynthesizerRow, 14> kChannelTable;

// One record of a bulk IN transfer.
struct RxRecord {
  std::uint32_t length = 0;  // bits 0-13 of the length word
  std::uint32_t info = 0;
  std::array<std::uint8_t, 24> descriptor{};
  std::vector<std::uint8_t> frame;  // frame size bytes
};

// Helpers for the radio tests on a stepped Kestrel: register access as the
// device layer makes it, bulk transfers as the driver's pipelines make them,
// and the firmware download of the TX/RX page.
class RadioHost {
 public:
  static constexpr std::uint8_t kIn0 = 0x81;
  static constexpr std::uint8_t kOut0 = 0x02;  // the driver's OUT pipe 0
  static constexpr std::uint8_t kOut1 = 0x03;  // OUT pipe 1: firmware commands

  RadioHost(Kestrel& chip, VirtualClock& clock);

  TestHost& host() { return host_; }
  std::uint32_t read(std::uint16_t address) { return host_.read32(address); }
  void write(std::uint16_t address, std::uint32_t value) { host_.write32(address, value); }
  void set(std::uint16_t address, std::uint32_t bits) { write(address, read(address) | bits); }
  std::uint32_t readSys(std::uint16_t address) { return host_.read32(address, 0x47); }
  void writeSys(std::uint16_t address, std::uint32_t value) { host_.write32(address, value, 0x46); }
  std::uint8_t bbp(std::uint8_t id) { return host_.bbpRead(id); }
  void bbp(std::uint8_t id, std::uint8_t value) { host_.bbpWrite(id, value); }
  // BBP R158/R159.
  void writeIndirect(std::uint8_t index, std::uint8_t value);
  std::uint8_t readIndirect(std::uint8_t index);

  // RF bank 0 as a channel change writes it, with the factory's crystal
  // trim in R12.
  void tune(int channel);
  // MAC 0x1008/0x100C.
  void setStation(const MacAddress& address);
  // Reception on (MAC 0x1004 bit 3), several records per transfer or one.
  void startReception(bool severalRecords = true);

  // Submits an OUT transfer and lets the chip take it.
  usb::TransferStatus send(std::uint8_t endpoint, std::vector<std::uint8_t> transfer);
  // Every IN transfer the chip has ready on `endpoint` now, in order.
  std::vector<std::vector<std::uint8_t>> drain(std::uint8_t endpoint = kIn0);
  std::vector<RxRecord> drainRecords(std::uint8_t endpoint = kIn0);

  // The TX/RX page's download of a "Kestrel.bin" file: lengths from its
  // header, chunks of at most 1024 bytes through SYS 0x0230/0x0234 and bulk
  // OUT, then the vector block through the firmware-reload request. Chunks
  // listed in `skip` (by number) are left out.
  void downloadFirmware(std::span<const std::uint8_t> file, std::vector<int> skip = {});
  bool firmwareRuns() { return (readSys(0x0230) & 1) != 0; }

  // Lets virtual time pass and the chip catch up.
  void pass(Clock::Duration duration);

 private:
  Kestrel& chip_;
  VirtualClock& clock_;
  TestHost host_;
};

// A QA command packet of 132 bytes (and the 4 zero bytes the driver adds).
std::vector<std::uint8_t> CommandPacket(std::uint8_t command, std::uint8_t sequence,
                                        std::span<const std::uint8_t> payload);
// One TX packet: information word, 20-byte descriptor, the frame, padding.
std::vector<std::uint8_t> TxPacket(const PhyRate& rate, std::span<const std::uint8_t> frame);
// Packets back to back, closed by four zero bytes.
std::vector<std::uint8_t> OutTransferOf(std::initializer_list<std::vector<std::uint8_t>> packets);
std::vector<RxRecord> ParseRecords(std::span<const std::uint8_t> transfer);
// The TX/RX page's RSSI in dBm from a descriptor byte, with offset o and band
// LNA gain g at 20 MHz.
int PageRssi(std::uint8_t raw, int offset, int bandLnaGain);
std::vector<std::uint8_t> ReadFile(const char* path);

}  // namespace kqa::chip::testing
