#include "app/sniffer/sniff_commands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <fstream>

#include "app/sniffer/pac_file.h"

namespace kqa::sniffer {

namespace {

constexpr Clock::Duration kTickInterval = std::chrono::milliseconds(500);

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(
      suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// What a reader that stopped says about the file.
std::string ReaderProblem(const PacReader& reader) {
  PacLoadReport report;
  report.declared = reader.declaredCount();
  report.loaded = reader.recordsRead();
  if (!reader.hasCount())
    report.outcome = PacLoadReport::Outcome::NoCount;
  else if (reader.cutShort())
    report.outcome = PacLoadReport::Outcome::CutShort;
  return PacLoadProblem(report);
}

}  // namespace

page::Outcome RunTimedCapture(CaptureSession& session, Clock& clock, double seconds,
                              const ProgressCallback& progress) {
  if (!session.capturing()) {
    const page::Outcome started = session.startStop();
    if (started != page::Outcome::Done) return started;
  }
  const Clock::Duration started = clock.now();
  const Clock::Duration end =
      started + std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds));
  while (session.capturing()) {
    const Clock::Duration left = end - clock.now();
    if (left <= Clock::Duration::zero()) break;
    clock.sleep(std::min(left, kTickInterval));
    session.tick();
    if (progress)
      progress({std::chrono::duration<double>(clock.now() - started).count(),
                session.store().count(), session.crcErrorCount()});
  }
  session.stopCapture();
  return page::Outcome::Done;
}

CaptureFileFormat FormatOfPath(std::string_view path) {
  if (EndsWithIgnoringCase(path, ".pac")) return CaptureFileFormat::Pac;
  if (EndsWithIgnoringCase(path, ".pcap")) return CaptureFileFormat::Pcap;
  return CaptureFileFormat::Unknown;
}

page::Outcome SaveCapture(CaptureSession& session, const std::string& path) {
  switch (FormatOfPath(path)) {
    case CaptureFileFormat::Pac:
      return session.savePacTo(path);
    case CaptureFileFormat::Pcap:
      return session.exportPcapTo(path);
    case CaptureFileFormat::Unknown:
      return page::Outcome::Refused;
  }
  return page::Outcome::Refused;
}

std::string DecodePacFile(const std::string& path, std::ostream& out, std::size_t headerSize) {
  std::ifstream in;
  if (!OpenPacFile(path, in)) return std::string(texts::kPacketFileNotOpened);
  PacReader reader(in);
  std::array<std::uint8_t, kCaptureRecordSize> record;
  while (reader.next(record)) {
    const std::size_t row = reader.recordsRead() - 1;
    out << RowLine(SummarizeRecord(record, headerSize), row) << '\n';
  }
  return ReaderProblem(reader);
}

ConvertResult ConvertPacFile(const std::string& pacPath, const std::string& pcapPath,
                             PcapOptions options, const CalibrationSource& calibration) {
  std::ifstream in;
  if (!OpenPacFile(pacPath, in)) return {0, std::string(texts::kPacketFileNotOpened)};
  std::array<std::uint8_t, kCaptureRecordSize> record;
  if (!options.channel) {
    PacReader scan(in);
    while (!options.channel && scan.next(record)) options.channel = CaptureChannel(record, options);
    in.clear();
    in.seekg(0);
  }
  if (calibration) {
    if (const auto found = calibration(options.channel.value_or(1))) options.calibration = *found;
  }
  std::ofstream out(pcapPath, std::ios::binary | std::ios::trunc);
  if (!out) return {0, std::string(texts::kPcapFileNotOpened)};
  PacReader reader(in);
  PcapWriter writer(out, options);
  while (reader.next(record)) writer.add(record);
  out.close();
  if (!out) return {reader.recordsRead(), std::string(texts::kPcapFileNotWritten)};
  return {reader.recordsRead(), ReaderProblem(reader)};
}

}  // namespace kqa::sniffer
