#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace kqa::sniffer::testing {

// Builds capture records byte by byte, as the chip and the driver lay them
// out (written here by hand, independently of the parser):
//   4 status word (bit 8 CRC error), 8 word 0 (bits 16-27 frame size),
//   12 word 1 (bits 16-22 rate index, 23 40 MHz, 24 short GI, 30-31 PHY
//   mode), 16 RSSI path 0, 24 timer (us), 32 the frame.
struct RecordSpec {
  std::vector<std::uint8_t> frame;
  std::uint32_t phyMode = 1;
  std::uint32_t rateIndex = 0;
  bool crcError = false;
  bool wide = false;
  bool shortGi = false;
  std::uint8_t rssi = 0;
  std::uint32_t timerUs = 0;
  // Overrides the frame size field (else the frame's length).
  int frameSizeField = -1;
  std::size_t recordSize = 4096;  // 5120 for a ring record
};

std::vector<std::uint8_t> BuildRecord(const RecordSpec& spec);

// 802.11 frames: frame control byte, flags, then duration and addresses.
std::vector<std::uint8_t> Frame(std::uint8_t frameControl,
                                std::initializer_list<std::vector<std::uint8_t>> addresses,
                                std::size_t bodyBytes = 0);
std::vector<std::uint8_t> Beacon(const std::vector<std::uint8_t>& bssid, std::uint8_t channel);

inline const std::vector<std::uint8_t> kBroadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline const std::vector<std::uint8_t> kStationA{0x02, 0x4B, 0x51, 0x00, 0x00, 0x01};
inline const std::vector<std::uint8_t> kStationB{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};

// A folder of its own for one test's files, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// tshark's answer for a pcap file, one line per packet, the fields (its
// arguments, e.g. "-e wlan.ra") separated by blanks.
std::vector<std::string> Tshark(const std::string& path, const std::string& arguments);
bool TsharkInstalled();

// Concatenates records.
std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> records);
// A ".pac" file's bytes: `count` as a little-endian u32, then the bytes given
// (whole records or not).
std::vector<std::uint8_t> PacImage(std::uint32_t count, const std::vector<std::uint8_t>& records);

}  // namespace kqa::sniffer::testing
