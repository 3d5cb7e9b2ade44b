#include "app/sniffer/pcap_export.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "app/sniffer/frame_tables.h"
#include "platform/bytes/little_endian.h"

namespace kqa::sniffer {

namespace {

constexpr std::uint32_t kPcapMagic = 0xA1B2C3D4;  // microsecond timestamps
constexpr std::uint32_t kSnapLength = 65535;
constexpr std::uint32_t kLinkTypeRadiotap = 127;

// Radiotap presence bits and field values.
constexpr std::uint32_t kFlagsField = 1u << 1;
constexpr std::uint32_t kRateField = 1u << 2;
constexpr std::uint32_t kChannelField = 1u << 3;
constexpr std::uint32_t kSignalField = 1u << 5;
constexpr std::uint32_t kMcsField = 1u << 19;

constexpr std::uint8_t kFlagShortPreamble = 0x02;
constexpr std::uint8_t kFlagBadFcs = 0x40;

constexpr std::uint16_t kChannelCck = 0x0020;
constexpr std::uint16_t kChannelOfdm = 0x0040;
constexpr std::uint16_t kChannel2Ghz = 0x0080;
constexpr std::uint16_t kChannel5Ghz = 0x0100;

constexpr std::uint8_t kMcsKnownBandwidth = 0x01;
constexpr std::uint8_t kMcsKnownIndex = 0x02;
constexpr std::uint8_t kMcsKnownGuardInterval = 0x04;
constexpr std::uint8_t kMcsKnownFormat = 0x08;
constexpr std::uint8_t kMcsBandwidth40 = 0x01;
constexpr std::uint8_t kMcsShortGi = 0x04;
constexpr std::uint8_t kMcsGreenfield = 0x08;

// Kestrel receive descriptor fields beyond the list's (record offsets).
constexpr std::size_t kRssiPath0 = 16;
constexpr std::size_t kTimerWord = 24;

// Beacon and probe response bodies: 12 bytes of fixed fields after the
// 24-byte header, then elements.
constexpr std::size_t kFirstElement = 36;
constexpr std::uint8_t kDsParameterSet = 3;

// Appends fields at their natural alignment from the header's start.
class RadiotapBuilder {
 public:
  RadiotapBuilder() : bytes_(8, 0) {}
  void u8(std::uint8_t value) { bytes_.push_back(value); }
  void u16(std::uint16_t value) {
    align(2);
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  std::vector<std::uint8_t> finish(std::uint32_t present) {
    PutLe16(bytes_, 2, static_cast<std::uint16_t>(bytes_.size()));
    PutLe32(bytes_, 4, present);
    return std::move(bytes_);
  }

 private:
  void align(std::size_t to) {
    while (bytes_.size() % to != 0) bytes_.push_back(0);
  }
  std::vector<std::uint8_t> bytes_;
};

bool IsHt(PhyMode mode) {
  return mode == PhyMode::HtMixed || mode == PhyMode::HtGreenfield;
}

void PutU32(std::ostream& out, std::uint32_t value) {
  std::uint8_t bytes[4];
  PutLe32(bytes, 0, value);
  out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

int RssiDbm(std::uint8_t raw, bool wide, const SignalCalibration& calibration) {
  static constexpr int kLna20[4] = {0, -2, 15, 33};
  static constexpr int kLna40[4] = {0, 0, 16, 34};
  const int step = raw >> 6;
  const int lna = wide ? kLna40[step] : kLna20[step];
  return 8 - calibration.rssiOffset - lna - (raw & 0x3F) - calibration.bandLnaGain;
}

int ChannelMhz(int channel) {
  if (channel == 14) return 2484;
  if (channel <= 14) return 2407 + 5 * channel;
  return 5000 + 5 * channel;
}

std::optional<int> DsParameterChannel(std::span<const std::uint8_t> frame) {
  if (frame.empty() || FrameType(frame[0]) != 0) return std::nullopt;
  const int subtype = FrameSubtype(frame[0]);
  if (subtype != 8 && subtype != 5) return std::nullopt;
  std::size_t at = kFirstElement;
  while (at + 2 <= frame.size()) {
    const std::uint8_t id = frame[at];
    const std::size_t length = frame[at + 1];
    if (at + 2 + length > frame.size()) break;
    if (id == kDsParameterSet && length == 1 && frame[at + 2] != 0) return frame[at + 2];
    at += 2 + length;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> RadiotapHeader(const CaptureRecord& record, std::optional<int> channel,
                                         const SignalCalibration& calibration) {
  RadiotapBuilder builder;
  std::uint32_t present = kFlagsField;
  const std::optional<double> mbps = RateMbps(record.phyMode, record.rateIndex);
  const bool ht = IsHt(record.phyMode);

  std::uint8_t flags = record.crcError ? kFlagBadFcs : 0;
  if (record.phyMode == PhyMode::Cck && record.rateIndex >= 8) flags |= kFlagShortPreamble;
  builder.u8(flags);
  if (mbps && !ht) {
    present |= kRateField;
    builder.u8(static_cast<std::uint8_t>(std::lround(*mbps * 2)));
  }
  if (channel) {
    present |= kChannelField;
    builder.u16(static_cast<std::uint16_t>(ChannelMhz(*channel)));
    builder.u16(
        static_cast<std::uint16_t>((*channel <= 14 ? kChannel2Ghz : kChannel5Ghz) |
                                   (record.phyMode == PhyMode::Cck ? kChannelCck : kChannelOfdm)));
  }
  if (record.descriptor.size() > kRssiPath0) {
    present |= kSignalField;
    const int dbm =
        std::clamp(RssiDbm(record.descriptor[kRssiPath0], record.wide, calibration), -128, 127);
    builder.u8(static_cast<std::uint8_t>(static_cast<std::int8_t>(dbm)));
  }
  if (mbps && ht) {
    present |= kMcsField;
    builder.u8(kMcsKnownBandwidth | kMcsKnownIndex | kMcsKnownGuardInterval | kMcsKnownFormat);
    builder.u8(static_cast<std::uint8_t>(
        (record.wide ? kMcsBandwidth40 : 0) | (record.shortGi ? kMcsShortGi : 0) |
        (record.phyMode == PhyMode::HtGreenfield ? kMcsGreenfield : 0)));
    builder.u8(record.rateIndex);
  }
  return builder.finish(present);
}

PcapWriter::PcapWriter(std::ostream& out, const PcapOptions& options)
    : out_(out), options_(options) {
  PutU32(out_, kPcapMagic);
  const std::uint8_t version[4] = {2, 0, 4, 0};
  out_.write(reinterpret_cast<const char*>(version), sizeof version);
  PutU32(out_, 0);  // time zone
  PutU32(out_, 0);  // accuracy
  PutU32(out_, kSnapLength);
  PutU32(out_, kLinkTypeRadiotap);
}

void PcapWriter::add(std::span<const std::uint8_t> bytes) {
  const CaptureRecord record = ParseCaptureRecord(bytes, options_.headerSize);
  const std::vector<std::uint8_t> radiotap =
      RadiotapHeader(record, options_.channel, options_.calibration);
  // A malformed record keeps the bytes after its header that lie inside it.
  const std::span<const std::uint8_t> frame =
      record.malformed ? bytes.subspan(std::min(options_.headerSize, bytes.size())) : record.frame;
  const std::uint32_t timer =
      record.descriptor.size() >= kTimerWord + 4 ? GetLe32(record.descriptor, kTimerWord) : 0;
  PutU32(out_, timer / 1'000'000);
  PutU32(out_, timer % 1'000'000);
  PutU32(out_, static_cast<std::uint32_t>(radiotap.size() + frame.size()));
  PutU32(out_, static_cast<std::uint32_t>(radiotap.size() +
                                          std::max<std::size_t>(record.frameSize, frame.size())));
  out_.write(reinterpret_cast<const char*>(radiotap.data()),
             static_cast<std::streamsize>(radiotap.size()));
  out_.write(reinterpret_cast<const char*>(frame.data()),
             static_cast<std::streamsize>(frame.size()));
}

std::optional<int> CaptureChannel(std::span<const std::uint8_t> records,
                                  const PcapOptions& options) {
  if (options.channel) return options.channel;
  for (std::size_t at = 0; at + kCaptureRecordSize <= records.size(); at += kCaptureRecordSize) {
    const CaptureRecord record =
        ParseCaptureRecord(records.subspan(at, kCaptureRecordSize), options.headerSize);
    if (record.crcError) continue;
    if (const auto channel = DsParameterChannel(record.frame)) return channel;
  }
  return std::nullopt;
}

bool WritePcap(std::ostream& out, std::span<const std::uint8_t> records, PcapOptions options) {
  options.channel = CaptureChannel(records, options);
  PcapWriter writer(out, options);
  for (std::size_t at = 0; at + kCaptureRecordSize <= records.size(); at += kCaptureRecordSize)
    writer.add(records.subspan(at, kCaptureRecordSize));
  out.flush();
  return writer.ok();
}

PcapFileResult SavePcapFile(const std::string& path, std::span<const std::uint8_t> records,
                            const PcapOptions& options) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return PcapFileResult::NotOpened;
  if (!WritePcap(out, records, options)) return PcapFileResult::NotWritten;
  out.close();
  return out ? PcapFileResult::Ok : PcapFileResult::NotWritten;
}

}  // namespace kqa::sniffer
