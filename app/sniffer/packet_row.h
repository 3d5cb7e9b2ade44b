#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/sniffer/capture_record.h"

namespace kqa::sniffer {

using MacAddress = std::array<std::uint8_t, 6>;

// The list's columns, in order.
enum class Column { Number, Address1, Address2, Address3, Rate, Protocol, Flag, Rssi, Size };
inline constexpr std::size_t kColumnCount = 9;

enum class Alignment { Left, Right };
struct ColumnSpec {
  std::string_view title;
  Alignment alignment;
  int width;  // pixels
};
// "No." right 45, "Address1" left 80, ... "Size" right 40.
const std::array<ColumnSpec, kColumnCount>& Columns();

// One list row as a small record (24 bytes): what the columns need, taken
// from the capture record once, when the record arrives. The texts are made
// only when a row is drawn (CellText).
struct PacketRow {
  enum Flags : std::uint8_t {
    kCrcError = 1,
    kMalformed = 2,
    kHasFrameControl = 4,  // the frame holds at least its first byte
    kHasAddress1 = 8,      // ... and Address1, Address2, Address3 (4 + 6n bytes)
    kHasAddress2 = 16,
    kHasAddress3 = 32,
  };

  std::array<MacAddress, 3> addresses{};
  std::uint16_t frameSize = 0;
  std::uint8_t rateIndex = 0;
  PhyMode phyMode = PhyMode::Cck;
  std::uint8_t frameControl = 0;
  std::uint8_t flags = 0;

  bool has(Flags flag) const { return (flags & flag) != 0; }
  // Address n (0-2) when the frame holds it.
  const MacAddress* address(std::size_t n) const;
  bool isBeacon() const;
};

PacketRow SummarizeRecord(const CaptureRecord& record);
PacketRow SummarizeRecord(std::span<const std::uint8_t> record, std::size_t headerSize);

// The text of one cell; `row` is the row index (the number column shows
// row + 1 as "%05d").
//   addresses  "%02X:%02X:%02X:%02X:%02X:%02X"; empty when all zero or not
//              in the frame
//   rate       "%.1f" Mbps from the PHY mode and rate index, "0.0" unknown
//   protocol   the frame type's name; "Malformed" when the frame's size
//              runs past its record
//   flag, rssi always empty
//   size       the frame size field, "%d"
std::string CellText(const PacketRow& packet, std::size_t row, Column column);
// The row's cells separated by tabs, in column order.
std::string RowLine(const PacketRow& packet, std::size_t row);

inline constexpr std::string_view kMalformedText = "Malformed";

}  // namespace kqa::sniffer
