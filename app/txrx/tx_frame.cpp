#include "app/txrx/tx_frame.h"

#include <algorithm>
#include <cstring>

#include "app/device/chip_numbers.h"
#include "app/device/text_format.h"
#include "app/txrx/field_reader.h"
#include "app/txrx/frame_presets.h"
#include "app/txrx/rate_lists.h"
#include "platform/bytes/little_endian.h"

namespace kqa::txrx {
namespace {

constexpr std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// The frame fields as the build reads them; `fields.ok()` says whether all
// were good.
struct ReadFields {
  int totalBytes = 0;
  std::uint32_t repeat = 0;
  std::vector<std::uint8_t> fc, dur, address1, address2, address3, seq, payload, key;
  std::uint8_t pattern = 0;
  std::uint16_t qosControl = 0;
  std::uint32_t iv = 0, eiv = 0;
  std::uint32_t mpduDensity = 0, baWinSize = 0, ipg = 0;
  int aggregateUnits = 0;
};

ReadFields Read(const RunSettings& s, FieldReader& reader) {
  ReadFields f;
  f.repeat = static_cast<std::uint32_t>(reader.decimal("Repeat", s.repeat, 0, 0x7FFFFFFF));
  f.totalBytes = static_cast<int>(reader.decimal("Total bytes", s.totalBytes, kMinTotalBytes, kMaxTotalBytes));
  f.fc = reader.bytes("FC", s.fc, 2);
  f.dur = reader.bytes("Dur", s.dur, 2);
  f.address1 = reader.bytes("Address1", s.address1, 6);
  f.address2 = reader.bytes("Address2", s.address2, 6);
  f.address3 = reader.bytes("Address3", s.address3, 6);
  f.seq = reader.bytes("Seq", s.seq, 2);
  f.payload = reader.bytes("Payload", s.payload, 0);
  f.pattern = static_cast<std::uint8_t>(reader.hexNumber("Repeat Pattern", s.repeatPattern));
  f.qosControl = static_cast<std::uint16_t>(reader.hexNumber("Qos Control(2)", s.qosControl));
  f.mpduDensity = static_cast<std::uint32_t>(reader.decimal("MPDU density", s.mpduDensity, 0, 7));
  f.ipg = static_cast<std::uint32_t>(reader.decimal("IPG", s.ipg, 0, 65535));
  f.aggregateUnits = s.aggregate ? static_cast<int>(reader.decimal(
                                       "Aggregate", std::to_string(s.aggregateCount), 1, kMaxAggregate))
                                 : 0;
  const DescriptorSettings& d = s.descriptor;
  f.key = reader.bytes("Key Value", d.keyValue, 16);
  f.iv = reader.hexNumber("IV", d.iv);
  f.eiv = reader.hexNumber("EIV", d.eiv);
  f.baWinSize = static_cast<std::uint32_t>(reader.decimal("BA WinSize (6bits)", d.baWinSize, 0, 63));
  return f;
}

void Put(std::vector<std::uint8_t>& area, std::size_t at, const std::vector<std::uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), area.begin() + static_cast<std::ptrdiff_t>(at));
}

std::array<std::uint32_t, 5> Descriptor(const RunSettings& s, const ReadFields& f) {
  std::array<std::uint32_t, 5> w{};
  const bool ht = IsHtMode(s.mode);
  if (s.ampdu) w[0] |= 1u << 4;
  if (RdgVisible(s)) w[0] |= f.mpduDensity << 5;
  w[0] |= (static_cast<std::uint32_t>(McsOf(s.mode, s.rate)) & 0x7F) << 16;
  if (s.bw40 && ht) w[0] |= 1u << 23;
  if (s.sgi && SgiEnabled(s)) w[0] |= 1u << 24;
  if (s.stbc && StbcEnabled(s)) w[0] |= 1u << 25;
  w[0] |= (static_cast<std::uint32_t>(s.mode) & 3) << 30;
  if (s.waitAck) w[1] |= 1u << 0;
  if (s.seqByHw) w[1] |= 1u << 1;
  if (s.ampdu) w[1] |= (f.baWinSize & 0x3F) << 2;
  w[1] |= 1u << 8;  // WCID 1
  w[1] |= (static_cast<std::uint32_t>(f.totalBytes) & 0xFFF) << 16;
  if (s.wiv) {
    w[2] = f.iv;
    w[3] = f.eiv;
  }
  return w;
}

// The frame area: header, body, fill; then the QoS control of QoS Data.
std::vector<std::uint8_t> Frame(const RunSettings& s, const ReadFields& f, std::size_t descriptorSize) {
  std::vector<std::uint8_t> area(kFrameAreaSize - descriptorSize, 0);
  const int t = s.frameType;
  const int total = f.totalBytes;
  int remaining = total - (t == kQosDataFrameType ? 8 : 10);
  Put(area, 0, f.fc);
  Put(area, 2, f.dur);
  Put(area, 4, f.address1);
  if (remaining >= 6) {
    Put(area, 10, f.address2);
    remaining -= 6;
    if (remaining >= 6) {
      Put(area, 16, f.address3);
      remaining -= 6;
    }
  }
  if (remaining >= 2) {
    Put(area, 22, f.seq);
    remaining -= 2;
  }
  std::size_t body = 24;
  if (t == kQosDataFrameType && remaining >= 2) {
    body = 28;
    remaining -= 4;
  }
  const int debugInfo = static_cast<int>(descriptorSize) + 4;
  if (s.debugInfo && remaining >= debugInfo) {
    body += static_cast<std::size_t>(debugInfo);
    remaining -= debugInfo;
  }
  const std::size_t copied = std::min<std::size_t>(static_cast<std::size_t>(std::max(remaining, 0)), f.payload.size());
  std::copy_n(f.payload.begin(), copied, area.begin() + static_cast<std::ptrdiff_t>(body));
  body += copied;
  remaining -= static_cast<int>(copied);
  if (remaining > 0) {
    const auto count = static_cast<std::size_t>(remaining);
    if (s.inc) {
      for (std::size_t i = 0; i < count; ++i) area[body + i] = static_cast<std::uint8_t>(f.pattern + i);
    } else if (s.swCrc) {
      if (count > 4) std::fill_n(area.begin() + static_cast<std::ptrdiff_t>(body), count - 4, f.pattern);
      // Over bytes 36 to L - 5; a frame of fewer than 40 bytes has none.
      const std::size_t covered = total > 40 ? static_cast<std::size_t>(total - 40) : 0;
      const std::uint32_t crc = device::Crc32Block(std::span(area).subspan(36, covered));
      PutLe32(area, static_cast<std::size_t>(total - 4), crc);
    } else {
      std::fill_n(area.begin() + static_cast<std::ptrdiff_t>(body), count, f.pattern);
    }
  }
  if (t == kQosDataFrameType) {
    // The last enabled queue slot decides the TID of an automatic field.
    for (int slot = 0; slot < kQueueSlots; ++slot) {
      if (!s.descriptor.slotEnabled[static_cast<std::size_t>(slot)]) continue;
      std::uint16_t field = f.qosControl;
      if (field == 0) field = static_cast<std::uint16_t>((GetLe16(area, 24) & ~0x7Fu) | static_cast<unsigned>(slot));
      PutLe16(area, 24, field);
    }
    if (RdgVisible(s) && s.rdg) {
      area[1] |= 0x80;  // FC bit 15: order
      std::fill_n(area.begin() + 28, 4, 0);
    }
  }
  return area;
}

}  // namespace

std::uint32_t TxBuild::packetLength() const {
  return record.size() >= 8 ? GetLe32(record, 4) : 0;
}

std::uint32_t TxInfoWord(const RunSettings& s, std::uint32_t descriptorSize, int totalBytes) {
  const DescriptorSettings& d = s.descriptor;
  std::uint32_t info = static_cast<std::uint32_t>(Align4(descriptorSize + static_cast<std::size_t>(totalBytes))) & 0xFFFF;
  info |= 1u << 19;
  info |= static_cast<std::uint32_t>(d.tso & 1) << 20;
  info |= static_cast<std::uint32_t>(d.cso & 1) << 21;
  if (s.wiv) info |= 1u << 24;
  info |= static_cast<std::uint32_t>(d.qsel & 3) << 25;
  info |= static_cast<std::uint32_t>(d.port & 7) << 27;
  return info;
}

std::uint32_t NibbleWord(const std::array<int, 8>& values) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < values.size(); ++i) word |= (static_cast<std::uint32_t>(values[i]) & 0xF) << (4 * i);
  return word;
}

std::uint32_t ComposeIvWord(int cipher, int keyIndex) {
  std::uint32_t keyByte = static_cast<std::uint32_t>(keyIndex & 3) << 6;
  if (cipher == 3 || cipher == 4 || cipher == 7) keyByte |= 0x20;
  return 0x20u | (keyByte << 16);
}

TxBuildResult BuildTxRun(const RunSettings& s, std::uint32_t descriptorSize) {
  TxBuildResult result;
  TxBuild& build = result.build;
  if (s.frameType < 0 || s.frameType >= kFrameTypeCount) {
    result.problem = device::Format("\"Frame Type\" must be from 0 to %d, not %d.", kFrameTypeCount - 1, s.frameType);
    return result;
  }
  if (!IsValidRate(s.mode, s.rate)) {
    result.problem = device::Format("Rate %d is not in the rate list of mode %d.", s.rate, s.mode);
    return result;
  }
  build.frameType = s.frameType;
  if (s.frameType == kBeaconFrameType) return result;

  FieldReader reader;
  const ReadFields f = Read(s, reader);
  if (!reader.ok()) {
    result.problem = reader.problem();
    return result;
  }
  build.repeat = f.repeat;
  build.infoWord = TxInfoWord(s, descriptorSize, f.totalBytes);
  build.descriptor = Descriptor(s, f);
  build.frame = Frame(s, f, descriptorSize);

  // The record: slot word, length word, then one unit (information word,
  // descriptor, frame), and with aggregation more units, each on the next
  // 4-byte boundary. Every unit counts whole, padding included, so the last
  // one is handed over complete.
  const std::size_t unitBody = descriptorSize + static_cast<std::size_t>(f.totalBytes);
  const std::size_t unit = 4 + Align4(unitBody);
  const std::size_t units = 1 + static_cast<std::size_t>(f.aggregateUnits);
  const std::size_t length = unit * units;
  if (length + 12 > kWorkBufferSize) {
    result.problem = device::Format("\"Total bytes\" %d with %zu units needs %zu bytes; the TX buffer holds %zu.",
                                    f.totalBytes, units, length + 12, kWorkBufferSize);
    return result;
  }
  build.record.assign(length + 12, 0);
  PutLe32(build.record, 4, static_cast<std::uint32_t>(length));
  std::vector<std::uint8_t> descriptorBytes(descriptorSize, 0);
  for (std::size_t w = 0; w < descriptorSize / 4 && w < build.descriptor.size(); ++w)
    PutLe32(descriptorBytes, 4 * w, build.descriptor[w]);
  for (std::size_t u = 0; u < units; ++u) {
    const std::size_t at = 8 + u * unit;
    PutLe32(build.record, at, build.infoWord);
    std::copy(descriptorBytes.begin(), descriptorBytes.end(), build.record.begin() + static_cast<std::ptrdiff_t>(at + 4));
    std::copy_n(build.frame.begin(), f.totalBytes,
                build.record.begin() + static_cast<std::ptrdiff_t>(at + 4 + descriptorSize));
  }

  RunRegisterValues& r = build.registers;
  std::copy(f.key.begin(), f.key.end(), r.key.begin());
  r.cipher = s.descriptor.cipher;
  r.keyTable = s.descriptor.keyTable;
  r.eiv = f.eiv;
  r.wmmAifsn = NibbleWord(s.descriptor.aifsn);
  r.wmmCwMin = NibbleWord(s.descriptor.cwMin);
  r.wmmCwMax = NibbleWord(s.descriptor.cwMax);
  r.ipg = f.ipg;
  r.rdgVisible = RdgVisible(s);
  r.rdg = s.rdg;
  return result;
}

}  // namespace kqa::txrx
