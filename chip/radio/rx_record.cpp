#include "chip/radio/rx_record.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"

namespace kqa::chip {

std::vector<std::uint8_t> EncodeRxRecord(const RxRecordFields& fields) {
  const std::size_t size = std::min<std::size_t>(fields.frame.size(), 0xFFF);
  const std::size_t padded = (size + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> record(8 + kRxDescriptorSize + padded, 0);
  PutLe32(record, 0, static_cast<std::uint32_t>(kRxDescriptorSize + padded) & 0x3FFF);

  std::uint32_t info = fields.crcError ? kRxCrcError : 0;
  if (size >= 10) {
    const std::uint8_t first = fields.frame[4];
    const bool broadcast = std::all_of(fields.frame.begin() + 4, fields.frame.begin() + 10,
                                       [](std::uint8_t b) { return b == 0xFF; });
    if (broadcast) {
      info |= kRxBroadcast;
    } else if ((first & 1) != 0) {
      info |= kRxMulticast;
    }
  }
  if (fields.toMe) info |= kRxToMe;
  PutLe32(record, 4, info);

  const std::size_t d = 8;
  PutLe32(record, d, static_cast<std::uint32_t>(size) << 16 | fields.wcid);
  const auto& rate = fields.rate;
  PutLe32(record, d + 4,
          static_cast<std::uint32_t>(rate.mode) << 30 | (rate.shortGi ? 1u << 24 : 0u) | (rate.wide ? 1u << 23 : 0u) |
              static_cast<std::uint32_t>(rate.reportedMcs()) << 16);
  record[d + 8] = fields.rssi[0];
  record[d + 9] = fields.rssi[1];
  record[d + 10] = fields.rssi[2];
  record[d + 12] = fields.snr[0];
  record[d + 13] = fields.snr[1];
  record[d + 14] = fields.rssi[0];
  record[d + 15] = static_cast<std::uint8_t>(fields.deviation);
  PutLe32(record, d + 16, fields.timerUs);
  record[d + 20] = fields.noise;
  std::copy_n(fields.frame.begin(), size, record.begin() + static_cast<std::ptrdiff_t>(8 + kRxDescriptorSize));
  return record;
}

}  // namespace kqa::chip
