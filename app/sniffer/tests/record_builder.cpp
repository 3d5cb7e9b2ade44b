#include "app/sniffer/tests/record_builder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace kqa::sniffer::testing {

namespace {

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> BuildRecord(const RecordSpec& spec) {
  std::vector<std::uint8_t> record(spec.recordSize, 0);
  const std::uint32_t size = spec.frameSizeField >= 0
                                 ? static_cast<std::uint32_t>(spec.frameSizeField)
                                 : static_cast<std::uint32_t>(spec.frame.size());
  Put32(record, 0, static_cast<std::uint32_t>(24 + spec.frame.size()));
  Put32(record, 4, spec.crcError ? 0x100u : 0u);
  Put32(record, 8, size << 16 | 0xFF);
  Put32(record, 12,
        spec.phyMode << 30 | (spec.shortGi ? 1u << 24 : 0u) | (spec.wide ? 1u << 23 : 0u) |
            spec.rateIndex << 16);
  record[16] = spec.rssi;
  Put32(record, 24, spec.timerUs);
  std::copy_n(spec.frame.begin(), std::min(spec.frame.size(), record.size() - 32),
              record.begin() + 32);
  return record;
}

std::vector<std::uint8_t> Frame(std::uint8_t frameControl,
                                std::initializer_list<std::vector<std::uint8_t>> addresses,
                                std::size_t bodyBytes) {
  std::vector<std::uint8_t> frame{frameControl, 0x00, 0x2C, 0x00};
  for (const auto& address : addresses) frame.insert(frame.end(), address.begin(), address.end());
  if (addresses.size() == 3) frame.insert(frame.end(), {0x10, 0x00});  // sequence control
  for (std::size_t i = 0; i < bodyBytes; ++i) frame.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return frame;
}

std::vector<std::uint8_t> Beacon(const std::vector<std::uint8_t>& bssid, std::uint8_t channel) {
  std::vector<std::uint8_t> frame = Frame(0x80, {kBroadcast, bssid, bssid});
  frame.insert(frame.end(), {1, 2, 3, 4, 5, 6, 7, 8, 0x64, 0x00, 0x01,
                             0x04});                 // timestamp, interval, capabilities
  frame.insert(frame.end(), {0, 3, 'l', 'a', 'b'});  // SSID
  frame.insert(frame.end(), {1, 1, 0x82});           // rates
  frame.insert(frame.end(), {3, 1, channel});        // DS parameter set
  return frame;
}

ScratchFolder::ScratchFolder() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  path_ = std::filesystem::path(::testing::TempDir()) /
          ("kqa-sniffer-" + std::string(test != nullptr ? test->name() : "test") + "-" +
           std::to_string(getpid()));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Tshark(const std::string& path, const std::string& arguments) {
  const std::string command =
      "tshark -r '" + path + "' -T fields -E separator=/s " + arguments + " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<std::string> lines;
  if (!pipe) return lines;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool TsharkInstalled() {
  return std::system("tshark -v >/dev/null 2>&1") == 0;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> records) {
  std::vector<std::uint8_t> bytes;
  for (const auto& record : records) bytes.insert(bytes.end(), record.begin(), record.end());
  return bytes;
}

std::vector<std::uint8_t> PacImage(std::uint32_t count, const std::vector<std::uint8_t>& records) {
  std::vector<std::uint8_t> image{static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                                  static_cast<std::uint8_t>(count >> 16),
                                  static_cast<std::uint8_t>(count >> 24)};
  image.insert(image.end(), records.begin(), records.end());
  return image;
}

}  // namespace kqa::sniffer::testing
