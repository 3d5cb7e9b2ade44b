// Fuzz target for ".pac" files and the row decoder. Each input is a ".pac"
// file: it is loaded into a store of four records, every loaded record is
// decoded into its row and cells and exported as pcap, and the store is
// saved and loaded again. The input's bytes are also decoded as one record
// of their own length. Aborts when a load reports other than what the bytes
// hold, when a decode reads outside its record (the sanitizers see that),
// or when a round trip changes a byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/sniffer/capture_store.h"
#include "app/sniffer/pac_file.h"
#include "app/sniffer/packet_row.h"
#include "app/sniffer/pcap_export.h"

namespace kqa::sniffer {
namespace {

constexpr std::size_t kFuzzStoreRecords = 4;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "sniffer pac fuzz: %s\n", what);
  std::abort();
}

void DecodeRecord(std::span<const std::uint8_t> record, std::size_t headerSize) {
  const CaptureRecord parsed = ParseCaptureRecord(record, headerSize);
  Check(parsed.frame.empty() ||
            (parsed.frame.data() >= record.data() &&
             parsed.frame.data() + parsed.frame.size() <= record.data() + record.size()),
        "the frame lies outside its record");
  Check(parsed.malformed || parsed.frame.size() == parsed.frameSize, "a whole frame is cut");
  const PacketRow row = SummarizeRecord(parsed);
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    const std::string text = CellText(row, 19999, static_cast<Column>(c));
    Check(text.size() <= 24, "a cell longer than any the list shows");
  }
  const auto radiotap = RadiotapHeader(parsed, 11, {});
  Check(radiotap.size() <= 32 && radiotap[2] == radiotap.size(),
        "a radiotap header of the wrong length");
}

}  // namespace
}  // namespace kqa::sniffer

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kqa::sniffer;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::uint8_t> storage(kFuzzStoreRecords * kCaptureRecordSize);
  CaptureStore store(storage);
  std::istringstream in(bytes);
  const PacLoadReport report = LoadPac(in, store);

  // What the bytes hold, worked out apart from the reader.
  const std::size_t whole = size < 4 ? 0 : (size - 4) / kCaptureRecordSize;
  const std::uint32_t declared =
      size < 4 ? 0
               : static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) |
                     static_cast<std::uint32_t>(data[3]) << 24;
  const std::size_t available = std::min<std::size_t>(declared, whole);
  Check(report.loaded == std::min(available, kFuzzStoreRecords),
        "loaded other than the whole records");
  Check(store.count() == report.loaded, "the store holds other than was loaded");
  if (size < 4)
    Check(report.outcome == PacLoadReport::Outcome::NoCount, "no count not reported");
  else if (declared > kFuzzStoreRecords && whole >= kFuzzStoreRecords)
    Check(report.outcome == PacLoadReport::Outcome::TooMany, "too many not reported");
  else if (declared > whole)
    Check(report.outcome == PacLoadReport::Outcome::CutShort, "cut short not reported");
  else
    Check(report.outcome == PacLoadReport::Outcome::Whole, "a whole file reported as not");
  Check(PacLoadProblem(report).empty() == (report.outcome == PacLoadReport::Outcome::Whole),
        "problem text");
  for (std::size_t i = 0; i < store.count(); ++i)
    Check(std::memcmp(store.record(i).data(), data + 4 + i * kCaptureRecordSize,
                      kCaptureRecordSize) == 0,
          "a record differs from the file");

  for (std::size_t i = 0; i < store.count(); ++i) {
    const auto record = store.record(i);
    DecodeRecord(record, kKestrelHeaderSize);
    DecodeRecord(record, 24);
    // Any header size, taken from the record's uninterpreted first bytes.
    DecodeRecord(record, (record[0] | record[1] << 8) % 5000u);
  }
  // The input itself as one (short or long) record.
  const std::span<const std::uint8_t> raw(data, size);
  DecodeRecord(raw, kKestrelHeaderSize);
  if (size > 0) DecodeRecord(raw, data[0]);

  std::ostringstream pcap;
  Check(WritePcap(pcap, store.heldBytes(), {}), "pcap not written");
  Check(pcap.str().size() >= 24 + store.count() * 16, "pcap shorter than its headers");

  std::ostringstream saved;
  Check(WritePac(saved, store.heldBytes()), "pac not written");
  std::vector<std::uint8_t> again(kFuzzStoreRecords * kCaptureRecordSize);
  CaptureStore reloaded(again);
  std::istringstream back(saved.str());
  const PacLoadReport second = LoadPac(back, reloaded);
  Check(second.outcome == PacLoadReport::Outcome::Whole && reloaded.count() == store.count(),
        "round trip count");
  Check(std::memcmp(again.data(), storage.data(), store.count() * kCaptureRecordSize) == 0,
        "round trip bytes");
  return 0;
}
