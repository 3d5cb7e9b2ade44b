#include "chip/tests/radio_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "platform/bytes/little_endian.h"

namespace kqa::chip::testing {

const std::array<SynthesizerRow, 14> kChannelTable{{{1, 0x50, 0x99, 0x99, 0x01},
                                                    {2, 0x50, 0x46, 0x44, 0x02},
                                                    {3, 0x50, 0xEC, 0xEE, 0x02},
                                                    {4, 0x50, 0x99, 0x99, 0x03},
                                                    {5, 0x51, 0x46, 0x44, 0x00},
                                                    {6, 0x51, 0xEC, 0xEE, 0x00},
                                                    {7, 0x51, 0x99, 0x99, 0x01},
                                                    {8, 0x51, 0x46, 0x44, 0x02},
                                                    {9, 0x51, 0xEC, 0xEE, 0x02},
                                                    {10, 0x51, 0x99, 0x99, 0x03},
                                                    {11, 0x52, 0x46, 0x44, 0x00},
                                                    {12, 0x52, 0xEC, 0xEE, 0x00},
                                                    {13, 0x52, 0x99, 0x99, 0x01},
                                                    {14, 0x52, 0x33, 0x33, 0x03}}};

RadioHost::RadioHost(Kestrel& chip, VirtualClock& clock) : chip_(chip), clock_(clock), host_(chip) {
  host_.configure();
}

void RadioHost::writeIndirect(std::uint8_t index, std::uint8_t value) {
  bbp(158, index);
  bbp(159, value);
}

std::uint8_t RadioHost::readIndirect(std::uint8_t index) {
  bbp(158, index);
  return bbp(159);
}

void RadioHost::tune(int channel) {
  const auto& row = kChannelTable.at(static_cast<std::size_t>(channel - 1));
  host_.rfWrite(0, 20, row.r20);
  host_.rfWrite(0, 21, static_cast<std::uint8_t>(host_.rfRead(0, 21) & 0xFE));
  host_.rfWrite(0, 17, row.r17);
  host_.rfWrite(0, 18, row.r18);
  host_.rfWrite(0, 19, static_cast<std::uint8_t>((host_.rfRead(0, 19) & 0xFC) | row.r19));
  host_.rfWrite(0, 12, 0x24);  // the factory's frequency offset (EEPROM 0x3A)
}

void RadioHost::setStation(const MacAddress& a) {
  write(0x1008, static_cast<std::uint32_t>(a[0] | a[1] << 8 | a[2] << 16) | static_cast<std::uint32_t>(a[3]) << 24);
  write(0x100C, static_cast<std::uint32_t>(a[4] | a[5] << 8));
}

void RadioHost::startReception(bool severalRecords) {
  const std::uint32_t usb = read(0x0238);
  write(0x0238, severalRecords ? usb | (1u << 21) : usb & ~(1u << 21));
  set(0x1004, 0x8);
}

usb::TransferStatus RadioHost::send(std::uint8_t endpoint, std::vector<std::uint8_t> transfer) {
  usb::TransferStatus status = usb::TransferStatus::Error;
  bool done = false;
  chip_.submitBulk(endpoint, transfer, [&](usb::TransferResult result) {
    status = result.status;
    done = true;
  });
  chip_.runUntilIdle();
  EXPECT_TRUE(done);
  return status;
}

std::vector<std::vector<std::uint8_t>> RadioHost::drain(std::uint8_t endpoint) {
  std::vector<std::vector<std::uint8_t>> transfers;
  for (;;) {
    std::vector<std::uint8_t> buffer(102400);
    std::optional<usb::TransferResult> result;
    const auto id = chip_.submitBulk(endpoint, buffer, [&](usb::TransferResult r) { result = r; });
    chip_.runUntilIdle();
    if (!result) {
      chip_.cancelBulk(id);
      chip_.runUntilIdle();
      EXPECT_TRUE(result && result->status == usb::TransferStatus::Cancelled);
      return transfers;
    }
    EXPECT_EQ(result->status, usb::TransferStatus::Completed);
    buffer.resize(result->length);
    transfers.push_back(std::move(buffer));
  }
}

std::vector<RxRecord> RadioHost::drainRecords(std::uint8_t endpoint) {
  std::vector<RxRecord> records;
  for (const auto& transfer : drain(endpoint)) {
    auto some = ParseRecords(transfer);
    records.insert(records.end(), some.begin(), some.end());
  }
  return records;
}

void RadioHost::downloadFirmware(std::span<const std::uint8_t> file, std::vector<int> skip) {
  std::vector<std::uint8_t> buffer(128000, 0);  // the page reads the file into this
  std::copy_n(file.begin(), std::min(file.size(), buffer.size()), buffer.begin());
  const std::uint32_t ilm = GetLe32(buffer, 0);
  const std::uint32_t dlm = GetLe32(buffer, 4);
  int chunk = 0;
  const auto sendChunks = [&](std::uint32_t length, std::uint32_t destination, std::size_t from) {
    for (std::uint32_t o = 0; o < length; ) {
      const std::uint32_t n = (std::min<std::uint32_t>(1024, length - o) + 3) & ~3u;
      if (std::find(skip.begin(), skip.end(), chunk++) == skip.end()) {
        writeSys(0x0230, destination + o);
        writeSys(0x0234, n << 16);
        std::vector<std::uint8_t> packet(4 + n + 4, 0);
        PutLe32(packet, 0, n | 0x10000000u);
        std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(from + o), n, packet.begin() + 4);
        EXPECT_EQ(send(kOut0, packet), usb::TransferStatus::Completed);
        write(0x09A8, read(0x09A8) + 1);
        clock_.sleep(std::chrono::milliseconds(1));
      }
      o += n;
    }
  };
  if (ilm > 64) sendChunks(ilm - 64, 64, 96);
  sendChunks(dlm, 0x80000, 32 + ilm);
  const auto result = host_.vendorOut(0x01, 0x12, 0, std::span<const std::uint8_t>(buffer).subspan(32, 64));
  EXPECT_TRUE(result.ok());
}

void RadioHost::pass(Clock::Duration duration) {
  clock_.advance(duration);
  chip_.runUntilIdle();
}

std::vector<std::uint8_t> CommandPacket(std::uint8_t command, std::uint8_t sequence,
                                        std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> packet(132 + 4, 0);
  PutLe32(packet, 0, 0x50000000u | (command & 0x7Fu) << 20 | (sequence & 0xFu) << 16 |
                         static_cast<std::uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), packet.begin() + 4);
  return packet;
}

std::vector<std::uint8_t> TxPacket(const PhyRate& rate, std::span<const std::uint8_t> frame) {
  const std::size_t length = (20 + frame.size() + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> packet(4 + length, 0);
  PutLe32(packet, 0, static_cast<std::uint32_t>(length) | 1u << 19);
  PutLe32(packet, 4, static_cast<std::uint32_t>(rate.mode) << 30 | static_cast<std::uint32_t>(rate.mcs) << 16);
  PutLe32(packet, 8, static_cast<std::uint32_t>(frame.size()) << 16 | 1u << 8);
  std::copy(frame.begin(), frame.end(), packet.begin() + 24);
  return packet;
}

std::vector<std::uint8_t> OutTransferOf(std::initializer_list<std::vector<std::uint8_t>> packets) {
  std::vector<std::uint8_t> transfer;
  for (const auto& packet : packets) transfer.insert(transfer.end(), packet.begin(), packet.end());
  transfer.insert(transfer.end(), 4, 0);
  return transfer;
}

std::vector<RxRecord> ParseRecords(std::span<const std::uint8_t> transfer) {
  std::vector<RxRecord> records;
  std::size_t at = 0;
  while (at + 32 <= transfer.size()) {
    RxRecord record;
    record.length = GetLe32(transfer, at) & 0x3FFF;
    record.info = GetLe32(transfer, at + 4);
    std::copy_n(transfer.begin() + static_cast<std::ptrdiff_t>(at + 8), 24, record.descriptor.begin());
    const std::size_t size = (GetLe32(transfer, at + 8) >> 16) & 0xFFF;
    EXPECT_LE(at + 32 + size, transfer.size());
    EXPECT_EQ(record.length, 24 + ((size + 3) & ~std::size_t{3}));
    record.frame.assign(transfer.begin() + static_cast<std::ptrdiff_t>(at + 32),
                        transfer.begin() + static_cast<std::ptrdiff_t>(std::min(at + 32 + size, transfer.size())));
    const std::size_t length = record.length;
    records.push_back(std::move(record));
    if (length == 0) break;
    at += length + 8;
  }
  EXPECT_EQ(at, transfer.size()) << "records fill the transfer exactly";
  return records;
}

int PageRssi(std::uint8_t raw, int offset, int bandLnaGain) {
  static constexpr int kLna[4] = {0, -2, 15, 33};
  return 8 - offset - kLna[raw >> 6] - (raw & 0x3F) - bandLnaGain;
}

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace kqa::chip::testing
