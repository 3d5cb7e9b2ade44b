// sniff: a timed capture into a ".pac" or pcap file, and the ".pac" file's
// rows and its pcap conversion, on the sniffer page's logic.

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "app/device/text_format.h"
#include "app/sniffer/capture_radio.h"
#include "app/sniffer/capture_session.h"
#include "app/sniffer/sniff_commands.h"
#include "cli/arguments.h"
#include "cli/command_table.h"

namespace kqa::cli {
namespace {

using device::Format;
using sniffer::CaptureFileFormat;
using sniffer::CaptureSession;

// The capture's options keep their defaults unless the line gave them (a
// given one is never 0 or empty: the checks refuse those).
struct SniffArguments {
  double seconds = 0;
  int channel = 0;  // 0: where the chip is tuned
  std::string filterMac;
  std::string filterType;
  std::string out;
  std::string pacFile;   // decode, convert
  std::string pcapFile;  // convert

  bool tookCaptureOptions() const {
    return seconds > 0 || channel != 0 || !filterMac.empty() || !filterType.empty() || !out.empty();
  }
};

constexpr double kLongestCapture = 24 * 3600;

// The words of the capture's options, checked while the line is read.
CLI::Validator Seconds() {
  return CLI::Validator(
      [](std::string& word) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        if (word.empty() || *end != '\0' || !(value > 0) || value > kLongestCapture)
          return "must be a number of seconds above 0, at most 86400, not \"" + word + "\"";
        return {};
      },
      "");
}

CLI::Validator Channel() {
  return CLI::Validator(
      [](std::string& word) -> std::string {
        const char* begin = word.c_str();
        char* end = nullptr;
        const long value = std::strtol(begin, &end, 10);
        if (word.empty() || *end != '\0' || value < 1 || value > 14)
          return "must be a 2.4 GHz channel from 1 to 14, not \"" + word + "\"";
        return {};
      },
      "");
}

CLI::Validator MacFilter() {
  return CLI::Validator(
      [](std::string& word) -> std::string {
        return sniffer::ParseMacFilter(word) ? std::string() : sniffer::MacFilterProblem(word);
      },
      "");
}

CLI::Validator FrameKinds() {
  return CLI::Validator(
      [](std::string& word) -> std::string {
        sniffer::CaptureFilter scratch;
        std::string problem;
        return sniffer::ApplyFrameKinds(scratch, word, problem) ? std::string() : problem;
      },
      "");
}

// The format follows the extension, so a typo is refused before anything
// is captured; so is a file that could not be written.
CLI::Validator FileOf(bool pacAllowed) {
  return CLI::Validator(
      [pacAllowed](std::string& word) -> std::string {
        const CaptureFileFormat format = sniffer::FormatOfPath(word);
        if (format == CaptureFileFormat::Pcap || (pacAllowed && format == CaptureFileFormat::Pac))
          return UnwritableProblem(word);
        return std::string("must end in ") + (pacAllowed ? ".pac or .pcap" : ".pcap") + ", not \"" +
               word + "\"";
      },
      "");
}

const char* FormatName(CaptureFileFormat format) {
  return format == CaptureFileFormat::Pac ? "pac" : "pcap";
}

// "\r" keeps the line in place on a terminal.
void ShowProgress(std::ostream& err, const sniffer::CaptureProgress& progress, double seconds) {
  err << Format("\rCapturing: %.1f of %.1f s, %zu packets, %llu CRC errors ", progress.seconds,
                seconds, progress.rows, static_cast<unsigned long long>(progress.crcErrors));
  err.flush();
}

int SniffCapture(CommandRun& run, const SniffArguments& args) {
  if (args.seconds == 0 || args.out.empty())
    return run.usage(
        "sniff needs --seconds S and --out FILE.pac|FILE.pcap, or a command: "
        "decode, convert");
  device::DeviceContext& device = run.device();
  CaptureSession session(device, run.memoryMode(), run.session().snifferBuffer);
  if (args.channel != 0) {
    if (!sniffer::TuneChannel(device, args.channel))
      return run.fail(Format("channel %d could not be tuned", args.channel));
    session.channel = args.channel;
  }
  std::string problem;
  if (!args.filterType.empty()) sniffer::ApplyFrameKinds(session.filter, args.filterType, problem);
  if (!args.filterMac.empty()) session.setMacFilterText(args.filterMac);

  session.initialize();
  if (!session.startEnabled()) return run.fail("the capture cannot start here (see above)");
  const bool progressLine = run.session().progressLine;
  sniffer::ProgressCallback progress;
  if (progressLine)
    progress = [&](const sniffer::CaptureProgress& p) { ShowProgress(run.err(), p, args.seconds); };
  const page::Outcome captured =
      sniffer::RunTimedCapture(session, device.clock, args.seconds, progress);
  if (progressLine) run.err() << '\n';
  if (captured != page::Outcome::Done) return run.fail("the capture did not start (see above)");

  const std::size_t packets = session.store().count();
  // A chip fresh from reset is tuned to no channel at all.
  if (packets == 0 && session.crcErrorCount() == 0 && args.channel == 0 && !session.deviceLost())
    run.err() << "Nothing was received: is the chip tuned to a channel? (--channel N tunes it)\n";
  if (sniffer::SaveCapture(session, args.out) != page::Outcome::Done)
    return run.fail("the capture could not be written to \"" + args.out + "\" (see above)");
  // What came in before the device went is kept, and the run still fails.
  if (session.deviceLost())
    return run.fail(Format("the capture ended when the device went; the %zu packets received "
                           "before were written to %s",
                           packets, args.out.c_str()));
  const CaptureFileFormat format = sniffer::FormatOfPath(args.out);
  Json json{{"ok", true},
            {"file", args.out},
            {"format", FormatName(format)},
            {"packets", packets},
            {"crcErrors", session.crcErrorCount()},
            {"seconds", args.seconds}};
  json["channel"] = args.channel != 0 ? Json(args.channel) : Json(nullptr);
  return run.done(
      Format("Captured %zu packets (CRC errors received: %llu); wrote %s\n", packets,
             static_cast<unsigned long long>(session.crcErrorCount()), args.out.c_str()),
      json);
}

int SniffDecode(CommandRun& run, const SniffArguments& args) {
  const std::size_t headerSize =
      CaptureSession(run.device(), run.memoryMode(), run.session().snifferBuffer).headerSize();
  if (!run.json()) {
    const std::string problem = sniffer::DecodePacFile(args.pacFile, run.out(), headerSize);
    run.out().flush();
    return problem.empty() ? kExitOk : run.fail(problem);
  }
  std::ostringstream lines;
  const std::string problem = sniffer::DecodePacFile(args.pacFile, lines, headerSize);
  Json columns = Json::array();
  for (const sniffer::ColumnSpec& column : sniffer::Columns()) columns.push_back(column.title);
  Json rows = Json::array();
  std::istringstream in(lines.str());
  for (std::string line; std::getline(in, line);) {
    Json cells = Json::array();
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    while (cells.size() < columns.size()) cells.push_back("");  // empty cells at the end
    rows.push_back(std::move(cells));
  }
  Json json{{"ok", problem.empty()}, {"columns", columns}, {"rows", rows}};
  if (problem.empty()) return run.done("", json);
  json["message"] = problem;
  run.out() << JsonLine(json);
  run.err() << "kestrelqa-cli: " << problem << '\n';
  return kExitFailed;
}

int SniffConvert(CommandRun& run, const SniffArguments& args) {
  sniffer::PcapOptions options;
  options.headerSize =
      CaptureSession(run.device(), run.memoryMode(), run.session().snifferBuffer).headerSize();
  const device::ConfigMemory memory = run.configMemory();
  const sniffer::ConvertResult result = sniffer::ConvertPacFile(
      args.pacFile, args.pcapFile, options,
      [memory](int channel) { return sniffer::ReadSignalCalibration(memory, channel); });
  if (!result.problem.empty()) return run.fail(result.problem);
  return run.done(Format("Converted %zu packets to %s\n", result.records, args.pcapFile.c_str()),
                  {{"ok", true}, {"file", args.pcapFile}, {"packets", result.records}});
}

}  // namespace

void AddSniffCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<SniffArguments>();
  CLI::App& sniff = table.add(
      program, "sniff",
      "captures 802.11 frames for S seconds into FILE (.pac or .pcap, by its extension);\n"
      "decode and convert work on .pac files",
      [args](CommandRun& run) { return SniffCapture(run, *args); });
  sniff.require_subcommand(0, 1);
  sniff.add_option("--seconds", args->seconds, "how long to capture")
      ->type_name("S")
      ->check(Seconds());
  sniff
      .add_option("--channel", args->channel,
                  "tune this 2.4 GHz channel first (1-14); without it the capture runs where\n"
                  "the chip is tuned")
      ->type_name("N")
      ->check(Channel());
  sniff
      .add_option("--filter-mac", args->filterMac,
                  "keep only frames with this address as Address1, 2 or 3 (12 hex digits)")
      ->type_name("HEX12")
      ->check(MacFilter());
  sniff
      .add_option("--filter-type", args->filterType,
                  "frame kinds kept besides the rest: beacon, crc-error (comma-separated)\n"
                  "or none (default: both, as on the page)")
      ->type_name("LIST")
      ->check(FrameKinds());
  sniff.add_option("--out", args->out, "the file to write: FILE.pac or FILE.pcap")
      ->type_name("FILE")
      ->check(FileOf(true));

  CLI::App& decode =
      table.add(sniff, "decode", "prints a .pac file's rows as the list shows them, tab-separated",
                [args](CommandRun& run) {
                  // The capture's options would be ignored here.
                  if (args->tookCaptureOptions())
                    return run.usage("sniff decode takes only the .pac file, no capture options");
                  return SniffDecode(run, *args);
                });
  decode.add_option("FILE", args->pacFile, "the .pac file")->required()->type_name("FILE.pac");

  CLI::App& convert = table.add(
      sniff, "convert", "writes a .pac file's packets as pcap with radiotap (Wireshark, tshark)",
      [args](CommandRun& run) {
        if (args->tookCaptureOptions())
          return run.usage("sniff convert takes only its two files, no capture options");
        return SniffConvert(run, *args);
      });
  convert.add_option("PAC", args->pacFile, "the .pac file")->required()->type_name("FILE.pac");
  convert.add_option("PCAP", args->pcapFile, "the pcap file to write")
      ->required()
      ->type_name("FILE.pcap")
      ->check(FileOf(false));
}

}  // namespace kqa::cli
