// The sniffer's decoding beside tshark's, on the same 20,000 frames: a
// ".pac" file loaded and every row's cells made (what "sniff decode" and a
// fully scrolled list do), against tshark reading the same frames as pcap
// and printing the same columns. Target: at least as fast as tshark. Also
// the work of one tick that brings 1,000 records (decode, filter, store),
// which must not stall the window (target: well under a frame, 16 ms).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/sniffer/capture_filter.h"
#include "app/sniffer/capture_store.h"
#include "app/sniffer/pac_file.h"
#include "app/sniffer/packet_list_model.h"
#include "app/sniffer/packet_row.h"
#include "app/sniffer/pcap_export.h"
#include "platform/bytes/little_endian.h"

namespace {

using namespace kqa;
using namespace kqa::sniffer;

// A record as the chip lays it out: beacons, data of varying size with ACKs,
// RTS before long frames, the three PHY modes, one frame in 40 with a bad FCS.
std::vector<std::uint8_t> MakeRecord(std::size_t n) {
  std::vector<std::uint8_t> record(kCaptureRecordSize, 0);
  static const std::uint8_t kinds[] = {0x80, 0x08, 0xD4, 0x08, 0xD4, 0xB4, 0xC4, 0x48};
  const std::uint8_t fc = kinds[n % 8];
  const std::size_t size = fc == 0x08   ? 60 + (n * 37) % 1440
                           : fc == 0x80 ? 80
                           : fc == 0xB4 ? 16
                                        : 10;
  const std::uint32_t mode = static_cast<std::uint32_t>(n % 3);
  const std::uint32_t index = mode == 0 ? n % 4 : n % 8;
  PutLe32(record.data(), 4, n % 40 == 0 ? 0x100u : 0u);
  PutLe32(record.data(), 8, static_cast<std::uint32_t>(size) << 16);
  PutLe32(record.data(), 12, mode << 30 | index << 16);
  record[16] = 0x8A;
  PutLe32(record.data(), 24, static_cast<std::uint32_t>(n * 500));
  std::uint8_t* frame = record.data() + kKestrelHeaderSize;
  frame[0] = fc;
  for (std::size_t i = 4; i < size; ++i) frame[i] = static_cast<std::uint8_t>(i * 7 + n);
  if (fc == 0x80) {  // broadcast, with the DS parameter set at the end
    std::fill(frame + 4, frame + 10, 0xFF);
    const std::uint8_t ds[] = {3, 1, 6};
    std::copy(std::begin(ds), std::end(ds), frame + size - 3);
  }
  return record;
}

struct Files {
  Files() {
    folder =
        std::filesystem::temp_directory_path() / ("kqa-sniffer-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::vector<std::uint8_t> records;
    records.reserve(kStoreRecords * kCaptureRecordSize);
    for (std::size_t n = 0; n < kStoreRecords; ++n) {
      const auto record = MakeRecord(n);
      records.insert(records.end(), record.begin(), record.end());
    }
    pac = (folder / "capture.pac").string();
    pcap = (folder / "capture.pcap").string();
    SavePacFile(pac, records);
    SavePcapFile(pcap, records, {});
  }
  ~Files() { std::filesystem::remove_all(folder); }

  std::filesystem::path folder;
  std::string pac;
  std::string pcap;
};

const Files& TheFiles() {
  static const Files files;
  return files;
}

void BM_Sniffer_PacLoadAndDecode20000(benchmark::State& state) {
  const Files& files = TheFiles();
  std::vector<std::uint8_t> storage(kStoreRecords * kCaptureRecordSize);
  CaptureStore store(storage);
  PacketListModel rows;
  for (auto _ : state) {
    std::ifstream in(files.pac, std::ios::binary);
    LoadPac(in, store);
    rows.clear();
    std::size_t characters = 0;
    for (std::size_t i = 0; i < store.count(); ++i) {
      rows.append(SummarizeRecord(store.record(i), kKestrelHeaderSize));
      characters += RowLine(rows.row(i), i).size();
    }
    rows.commit();
    benchmark::DoNotOptimize(characters);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStoreRecords));
}
BENCHMARK(BM_Sniffer_PacLoadAndDecode20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

void BM_Sniffer_TsharkReadsTheSame20000AsPcap(benchmark::State& state) {
  const Files& files = TheFiles();
  if (std::system("tshark -v >/dev/null 2>&1") != 0) {
    state.SkipWithError("tshark is not installed (scripts/setup installs it)");
    return;
  }
  const std::string command =
      "tshark -n -r '" + files.pcap +
      "' -T fields -e frame.number -e wlan.ra -e wlan.ta -e wlan.bssid "
      "-e wlan_radio.data_rate -e wlan.fc.type_subtype -e frame.len >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("tshark failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kStoreRecords));
}
BENCHMARK(BM_Sniffer_TsharkReadsTheSame20000AsPcap)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// One tick's work on 1,000 ring records: decode, filter, copy into the
// store, queue the rows (what the session does between its read and the
// view's one batch insert).
void BM_Sniffer_TickOf1000Records(benchmark::State& state) {
  std::vector<std::uint8_t> transfer(kTransferBufferSize);
  for (std::size_t n = 0; n < kTransferRecords; ++n) {
    const auto record = MakeRecord(n);
    std::copy(record.begin(), record.end(),
              transfer.begin() + static_cast<std::ptrdiff_t>(n * kRingRecordSize));
  }
  std::vector<std::uint8_t> storage(kStoreRecords * kCaptureRecordSize);
  CaptureStore store(storage);
  PacketListModel rows;
  CaptureFilter filter;
  for (auto _ : state) {
    if (store.count() + kTransferRecords > store.capacity()) {
      store.clear();
      rows.clear();
    }
    for (std::size_t i = 0; i < RingRecordCount(transfer.size()); ++i) {
      const auto record = RingRecordAt(transfer, i);
      const PacketRow row = SummarizeRecord(record, kKestrelHeaderSize);
      if (!filter.keeps(row)) continue;
      rows.append(row);
      store.append(record);
    }
    rows.commit();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kTransferRecords));
}
BENCHMARK(BM_Sniffer_TickOf1000Records)->Unit(benchmark::kMicrosecond);

}  // namespace
