#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/sniffer/capture_session.h"
#include "app/sniffer/pcap_export.h"
#include "platform/clock/clock.h"

namespace kqa::sniffer {

// The sniffer's commands for kestrelqa-cli, on the page's own logic:
//   sniff --seconds S [--channel N] [--filter-mac HEX12] [--filter-type LIST] --out
//   FILE.pac|FILE.pcap sniff decode FILE.pac sniff convert FILE.pac FILE.pcap
// Each returns what the command line reports; problems come back as the
// texts the page would show.

struct CaptureProgress {
  double seconds = 0;    // capture time so far
  std::size_t rows = 0;  // records held
  std::uint64_t crcErrors = 0;
};
using ProgressCallback = std::function<void(const CaptureProgress&)>;

// Captures for `seconds` of the clock: starts the capture (if it is not
// running), ticks every 500 ms and once more at the end, then stops. It also
// ends when the store fills without Wrap Around. `progress` hears each tick.
// Not Done when the capture could not start (the reason has been shown).
page::Outcome RunTimedCapture(CaptureSession& session, Clock& clock, double seconds,
                              const ProgressCallback& progress = {});

enum class CaptureFileFormat { Pac, Pcap, Unknown };
// By the path's extension, ".pac" or ".pcap" (any case).
CaptureFileFormat FormatOfPath(std::string_view path);
// Writes the session's records in the format the extension names: Refused
// when the extension is neither, Failed when the file could not be written
// (shown).
page::Outcome SaveCapture(CaptureSession& session, const std::string& path);

// "sniff decode": one line per whole record of the ".pac" file, the list's
// columns in order, tab-separated, numbered from 00001 (all records of the
// file, also past the store's 20,000). Returns the problem to report after
// the lines (empty: the file was whole).
std::string DecodePacFile(const std::string& path, std::ostream& out,
                          std::size_t headerSize = kKestrelHeaderSize);

// "sniff convert": the whole records of a ".pac" file as a pcap file. The
// channel comes from the options or from the file's first beacon; then
// `calibration` (when given) names the levels' calibration for it.
struct ConvertResult {
  std::size_t records = 0;  // written to the pcap file
  std::string problem;      // to report; empty: every record was converted
};
using CalibrationSource = std::function<std::optional<SignalCalibration>(int channel)>;
ConvertResult ConvertPacFile(const std::string& pacPath, const std::string& pcapPath,
                             PcapOptions options = {}, const CalibrationSource& calibration = {});

}  // namespace kqa::sniffer
