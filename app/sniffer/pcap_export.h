#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "app/sniffer/capture_record.h"

namespace kqa::sniffer {

// Capture records as a pcap file for Wireshark and tshark: classic pcap
// (microsecond timestamps, link type 127, IEEE 802.11 with a radiotap
// header). Each packet is a radiotap header, then the frame as the chip
// delivered it (without FCS). Radiotap fields:
//   Flags          bad FCS (the record's CRC error bit), short preamble
//                  (CCK rate indices 8-11)
//   Rate           CCK and OFDM rates the list knows
//   Channel        frequency and CCK/OFDM, when the channel is known
//   Antenna signal path 0's level in dBm (below)
//   MCS            HT rates the list knows: index, 20/40 MHz, guard interval
// A rate the list shows as "0.0" is left out. The packet's time is the
// chip's microsecond timer at the frame's end (descriptor word 4). A
// malformed record keeps what lies inside it: its captured length is then
// shorter than the frame size it states.

// What turns the descriptor's RSSI byte into dBm: the path's RSSI offset
// (a signed byte, EEPROM word 0x46 low byte at 2.4 GHz, 0x4A at 5 GHz) and
// the band's LNA gain (EEPROM word 0x44, low byte 2.4 GHz, high byte 5 GHz).
struct SignalCalibration {
  int rssiOffset = 0;
  int bandLnaGain = 0;
};

// The level of a descriptor RSSI byte: bits 6-7 the LNA step (gain 33, 15,
// -2, 0 dB for steps 3 to 0; 34 and 16 at 40 MHz, where step 1 is 0 dB on the
// main antenna), bits 0-5 the VGA gain:
//   dBm = 8 - offset - LNA gain - VGA - band LNA gain
int RssiDbm(std::uint8_t raw, bool wide, const SignalCalibration& calibration);

// 2412 + 5 (n - 1) MHz for channels 1-13, 2484 for 14, 5000 + 5n above 14.
int ChannelMhz(int channel);

// The channel a beacon or probe response names in its DS parameter set, if
// the frame holds one.
std::optional<int> DsParameterChannel(std::span<const std::uint8_t> frame);

struct PcapOptions {
  std::size_t headerSize = kKestrelHeaderSize;
  // The channel the capture ran on; nullopt: the first beacon's or probe
  // response's DS parameter set names it, else the field is left out.
  std::optional<int> channel = std::nullopt;
  SignalCalibration calibration{};
};

// The radiotap header for one record.
std::vector<std::uint8_t> RadiotapHeader(const CaptureRecord& record, std::optional<int> channel,
                                         const SignalCalibration& calibration);

// Streams records into a pcap file: the file header first, then one packet
// per add().
class PcapWriter {
 public:
  PcapWriter(std::ostream& out, const PcapOptions& options);
  void add(std::span<const std::uint8_t> record);
  bool ok() const { return static_cast<bool>(out_); }

 private:
  std::ostream& out_;
  PcapOptions options_;
};

// The channel for a set of records: the options' channel, else the first
// beacon's or probe response's.
std::optional<int> CaptureChannel(std::span<const std::uint8_t> records,
                                  const PcapOptions& options);

// Writes records.size() / 4096 records as a pcap stream; false when the
// stream failed.
bool WritePcap(std::ostream& out, std::span<const std::uint8_t> records, PcapOptions options);

enum class PcapFileResult { Ok, NotOpened, NotWritten };
PcapFileResult SavePcapFile(const std::string& path, std::span<const std::uint8_t> records,
                            const PcapOptions& options);

}  // namespace kqa::sniffer
