#include "app/sniffer/pac_file.h"

#include <filesystem>
#include <fstream>

#include "app/device/text_format.h"
#include "platform/bytes/little_endian.h"

namespace kqa::sniffer {

namespace {

bool ReadExactly(std::istream& in, std::uint8_t* into, std::size_t size) {
  in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(in.gcount()) == size;
}

}  // namespace

PacReader::PacReader(std::istream& in) : in_(in) {
  std::uint8_t count[4];
  hasCount_ = ReadExactly(in_, count, sizeof count);
  if (hasCount_) declared_ = GetLe32(count, 0);
}

bool PacReader::next(std::span<std::uint8_t, kCaptureRecordSize> record) {
  if (!hasCount_ || cutShort_ || read_ >= declared_) return false;
  if (!ReadExactly(in_, record.data(), record.size())) {
    cutShort_ = true;
    return false;
  }
  ++read_;
  return true;
}

bool OpenPacFile(const std::string& path, std::ifstream& in) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  in.open(path, std::ios::binary);
  return static_cast<bool>(in);
}

PacLoadReport LoadPac(std::istream& in, CaptureStore& store) {
  store.clear();
  PacReader reader(in);
  PacLoadReport report;
  report.declared = reader.declaredCount();
  if (!reader.hasCount()) {
    report.outcome = PacLoadReport::Outcome::NoCount;
    return report;
  }
  while (!store.full() && reader.next(store.nextSlot().first<kCaptureRecordSize>()))
    store.commitSlot();
  report.loaded = store.count();
  if (reader.cutShort())
    report.outcome = PacLoadReport::Outcome::CutShort;
  else if (report.loaded < report.declared)
    report.outcome = PacLoadReport::Outcome::TooMany;
  return report;
}

std::string PacLoadProblem(const PacLoadReport& report) {
  switch (report.outcome) {
    case PacLoadReport::Outcome::Whole:
      return {};
    case PacLoadReport::Outcome::NoCount:
      return "Packet File is too short to hold its packet count: nothing was loaded!";
    case PacLoadReport::Outcome::CutShort:
      return device::Format(
          "Packet File is cut short: it holds %zu whole of its %u packets; those were loaded!",
          report.loaded, report.declared);
    case PacLoadReport::Outcome::TooMany:
      return device::Format(
          "Packet File holds %u packets; the first %zu were loaded, as many as the store holds!",
          report.declared, report.loaded);
  }
  return {};
}

bool WritePac(std::ostream& out, std::span<const std::uint8_t> records) {
  std::uint8_t count[4];
  PutLe32(count, 0, static_cast<std::uint32_t>(records.size() / kCaptureRecordSize));
  out.write(reinterpret_cast<const char*>(count), sizeof count);
  out.write(reinterpret_cast<const char*>(records.data()),
            static_cast<std::streamsize>(records.size() / kCaptureRecordSize * kCaptureRecordSize));
  out.flush();
  return static_cast<bool>(out);
}

PacFileResult SavePacFile(const std::string& path, std::span<const std::uint8_t> records) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return PacFileResult::NotOpened;
  if (!WritePac(out, records)) return PacFileResult::NotWritten;
  out.close();
  return out ? PacFileResult::Ok : PacFileResult::NotWritten;
}

}  // namespace kqa::sniffer
