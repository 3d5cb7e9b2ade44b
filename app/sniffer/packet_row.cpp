#include "app/sniffer/packet_row.h"

#include <algorithm>
#include <cstdio>

#include "app/sniffer/frame_tables.h"

namespace kqa::sniffer {

namespace {

constexpr std::size_t kAddressOffset = 4;  // Address1; Address2 and 3 follow, 6 bytes each
constexpr std::size_t kAddressSize = 6;

constexpr std::array<ColumnSpec, kColumnCount> kColumns{{
    {"No.", Alignment::Right, 45},
    {"Address1", Alignment::Left, 80},
    {"Address2", Alignment::Left, 80},
    {"Address3", Alignment::Left, 80},
    {"Rate", Alignment::Right, 50},
    {"Protocol", Alignment::Left, 60},
    {"Flag", Alignment::Left, 40},
    {"Rssi", Alignment::Left, 30},
    {"Size", Alignment::Right, 40},
}};

constexpr std::array<PacketRow::Flags, 3> kAddressFlags{
    PacketRow::kHasAddress1, PacketRow::kHasAddress2, PacketRow::kHasAddress3};

std::string AddressText(const MacAddress* address) {
  if (address == nullptr ||
      std::all_of(address->begin(), address->end(), [](std::uint8_t b) { return b == 0; }))
    return {};
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", (*address)[0], (*address)[1],
                (*address)[2], (*address)[3], (*address)[4], (*address)[5]);
  return text;
}

}  // namespace

const std::array<ColumnSpec, kColumnCount>& Columns() {
  return kColumns;
}

const MacAddress* PacketRow::address(std::size_t n) const {
  return n < 3 && has(kAddressFlags[n]) ? &addresses[n] : nullptr;
}

bool PacketRow::isBeacon() const {
  return has(kHasFrameControl) && IsBeacon(frameControl);
}

PacketRow SummarizeRecord(const CaptureRecord& record) {
  PacketRow row;
  row.frameSize = record.frameSize;
  row.rateIndex = record.rateIndex;
  row.phyMode = record.phyMode;
  if (record.crcError) row.flags |= PacketRow::kCrcError;
  if (record.malformed) row.flags |= PacketRow::kMalformed;
  const auto frame = record.frame;
  if (!frame.empty()) {
    row.frameControl = frame[0];
    row.flags |= PacketRow::kHasFrameControl;
  }
  for (std::size_t n = 0; n < 3; ++n) {
    const std::size_t at = kAddressOffset + n * kAddressSize;
    if (frame.size() < at + kAddressSize) break;
    std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(at), kAddressSize,
                row.addresses[n].begin());
    row.flags |= kAddressFlags[n];
  }
  return row;
}

PacketRow SummarizeRecord(std::span<const std::uint8_t> record, std::size_t headerSize) {
  return SummarizeRecord(ParseCaptureRecord(record, headerSize));
}

std::string CellText(const PacketRow& packet, std::size_t row, Column column) {
  char text[32];
  switch (column) {
    case Column::Number:
      std::snprintf(text, sizeof text, "%05zu", row + 1);
      return text;
    case Column::Address1:
      return AddressText(packet.address(0));
    case Column::Address2:
      return AddressText(packet.address(1));
    case Column::Address3:
      return AddressText(packet.address(2));
    case Column::Rate:
      std::snprintf(text, sizeof text, "%.1f",
                    RateMbps(packet.phyMode, packet.rateIndex).value_or(0.0));
      return text;
    case Column::Protocol:
      if (packet.has(PacketRow::kMalformed)) return std::string(kMalformedText);
      if (!packet.has(PacketRow::kHasFrameControl)) return {};
      return std::string(ProtocolName(packet.frameControl));
    case Column::Flag:
    case Column::Rssi:
      return {};
    case Column::Size:
      std::snprintf(text, sizeof text, "%d", packet.frameSize);
      return text;
  }
  return {};
}

std::string RowLine(const PacketRow& packet, std::size_t row) {
  std::string line;
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    if (c > 0) line += '\t';
    line += CellText(packet, row, static_cast<Column>(c));
  }
  return line;
}

}  // namespace kqa::sniffer
