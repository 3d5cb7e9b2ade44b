#include "app/sniffer/capture_record.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"

namespace kqa::sniffer {

namespace {
constexpr std::size_t kStatusWord = 4;
constexpr std::size_t kFrameSizeField = 10;
constexpr std::size_t kRateWord = 12;
constexpr std::size_t kFixedFields = 16;
}  // namespace

CaptureRecord ParseCaptureRecord(std::span<const std::uint8_t> record, std::size_t headerSize) {
  CaptureRecord parsed;
  parsed.descriptor = record.first(std::min(headerSize, record.size()));
  if (record.size() < kFixedFields) {
    parsed.malformed = true;
    return parsed;
  }
  parsed.crcError = (GetLe32(record, kStatusWord) & kCrcErrorBit) != 0;
  parsed.frameSize = GetLe16(record, kFrameSizeField) & 0x0FFF;
  const std::uint32_t rate = GetLe32(record, kRateWord);
  parsed.rateIndex = static_cast<std::uint8_t>((rate >> 16) & 0x7F);
  parsed.phyMode = static_cast<PhyMode>(rate >> 30);
  parsed.wide = (rate & (1u << 23)) != 0;
  parsed.shortGi = (rate & (1u << 24)) != 0;
  if (headerSize > record.size() || parsed.frameSize > record.size() - headerSize) {
    parsed.malformed = true;
    return parsed;
  }
  parsed.frame = record.subspan(headerSize, parsed.frameSize);
  return parsed;
}

std::size_t RingRecordCount(std::size_t bytes) {
  return bytes / kRingRecordSize;
}

std::span<const std::uint8_t> RingRecordAt(std::span<const std::uint8_t> transfer,
                                           std::size_t index) {
  return transfer.subspan(index * kRingRecordSize, kCaptureRecordSize);
}

}  // namespace kqa::sniffer
