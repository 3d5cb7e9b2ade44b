// capture, spectrum, evm, noise scan, iqcal and papd: the measurement pages'
// logic from the shell. Ctrl+C ends a running loop after its current step.
#include <charconv>
#include <cmath>
#include <memory>
#include <optional>

#include <CLI/CLI.hpp>

#include "app/device/text_format.h"
#include "app/measure/adc_file.h"
#include "app/measure/capture_dump.h"
#include "app/measure/evm_component.h"
#include "app/measure/fft_graph_tool.h"
#include "app/measure/iq_calibration.h"
#include "app/measure/noise_scan.h"
#include "app/measure/papd_test_tool.h"
#include "app/device/text_file.h"
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/interrupt.h"
#include "cli/measure_radio.h"

namespace kqa::cli {
namespace {

using device::Format;
namespace measure = kqa::measure;

// The stop offset that puts a frame which triggers the capture into the
// 8192 samples the processing uses: the ring holds 409.6 µs before its stop,
// the processing its first 204.8 µs, so 0x3E00 bytes (396.8 µs) after the
// trigger leave the frame's start 12.8 µs into them.
constexpr std::uint32_t kEvmTriggerOffset = 0x3E00;
constexpr std::uint32_t kMaxCount = 99999;

struct MeasureArguments {
  // capture
  std::string format = "adc8";
  std::uint32_t count = 1;
  std::string trigger = "auto";
  std::string out;
  // spectrum, evm
  std::uint32_t captures = 1;
  std::uint32_t channel = 0;
  std::string bandwidth = "20";
  std::string csv;
  std::string adc;
  // noise scan
  std::string band = "2.4";
  // papd
  std::string memory;
  std::string file;
};

// A 2.4 GHz channel number, 1 to 14.
CLI::Validator ChannelNumber() {
  return CLI::Validator(
      [](std::string& word) -> std::string {
        const std::string_view text = word;
        int number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
            number < 1 || number > 14)
          return "must be a channel from 1 to 14, not \"" + word + "\"";
        return {};
      },
      "");
}

// A loop's end: every step ran, Ctrl+C ended it, or it ran until Ctrl+C
// (a count of 0) and so ended as asked.
int LoopEnd(CommandRun& run, const InterruptGuard& guard, bool endless, const std::string& text,
            Json json) {
  const bool cut = guard.interrupted() && !endless;
  json["interrupted"] = guard.interrupted();
  if (!run.json()) run.out() << text;
  if (cut) {
    run.err() << "kestrelqa-cli: interrupted\n";
    if (run.json()) run.out() << JsonLine(json);
    return kExitFailed;
  }
  return run.done({}, json);
}

// Prints a loop's line as it comes (text); JSON waits for the end.
void Line(CommandRun& run, const std::string& line) {
  if (run.json()) return;
  run.out() << line;
  run.out().flush();
}

int CaptureCommand(CommandRun& run, const MeasureArguments& args) {
  measure::CaptureSettings settings;
  settings.format =
      args.format == "adc6" ? measure::SampleFormat::Adc6 : measure::SampleFormat::Adc8;
  settings.count = static_cast<int>(args.count);
  settings.triggerSource = args.trigger == "manual" ? 0 : 1;
  InterruptGuard guard;
  const measure::CaptureModeResult result =
      measure::RunCaptureMode(run.device(), settings, args.out, guard.stop());
  std::string text;
  for (const std::string& file : result.files) text += file + '\n';
  // A file that could not be opened or written has been named in its message.
  if (!result.completed && !guard.interrupted())
    return run.fail(Format("the captures ended early, after %zu file(s)", result.files.size()));
  return LoopEnd(run, guard, false, text,
                 {{"files", result.files}, {"completed", result.completed}});
}

// Tunes as the line asks: nothing, or the exit code when it cannot.
std::optional<int> TuneFromArguments(CommandRun& run, MeasureRadio& radio,
                                     const MeasureArguments& args) {
  const int bandwidth = args.bandwidth == "40" ? 1 : 0;
  if (bandwidth == 1 && !radio.canSelectBandwidth())
    return run.usage(
        "--bw 40 needs the TX/RX page's bandwidth selection, which this kestrelqa-cli lacks");
  if (args.channel != 0 && !radio.tune(static_cast<int>(args.channel)))
    return run.fail(Format("channel %u could not be tuned", args.channel));
  radio.selectBandwidth(bandwidth);
  return std::nullopt;
}

std::string SpectrumCsv(const measure::Spectrum& spectrum) {
  std::string text = "mhz,db\n";
  for (const measure::CurvePoint& point : spectrum.curve)
    text += Format("%.6f,%.3f\n", point.x, point.y);
  return text;
}

int SpectrumCommand(CommandRun& run, const MeasureArguments& args) {
  device::DeviceContext& device = run.device();
  LoadConfigurationWords(run.configMemory());
  MeasureRadio radio(device, run.session().channels);
  if (const auto refused = TuneFromArguments(run, radio, args)) return *refused;
  measure::FftGraphTool tool(device);
  tool.initialise();
  tool.bandwidthIndex = args.bandwidth == "40" ? 1 : 0;
  measure::FftCaptureSettings settings;
  tool.prepareRun(settings);  // the frequency domain: the gain frozen
  settings.maxCaptures = static_cast<int>(args.captures);
  settings.reportUnfinished = true;

  InterruptGuard guard;
  measure::SampleStore store;
  std::optional<measure::Spectrum> last;
  measure::SampleStore lastSamples;
  Json captures = Json::array();
  measure::RunFftCaptures(
      device, settings, guard.running(), store, nullptr, [&](const measure::FftCaptureResult& r) {
        if (r.spectrum == nullptr) {
          Line(run, "no capture\n");
          captures.push_back({{"noise", nullptr}});
          return;
        }
        Line(run, Format("noise %.2f dB\n", r.spectrum->noiseFigure));
        captures.push_back({{"noise", std::round(r.spectrum->noiseFigure * 100) / 100}});
        last = *r.spectrum;
        lastSamples = *r.samples;
      });
  tool.finishRun(settings);

  Json json = {{"channel", run.session().channels.channelIndex + 1},
               {"bw", std::stoi(args.bandwidth)},
               {"captures", captures}};
  std::string error;
  if (!args.csv.empty() || !args.adc.empty()) {
    if (!last) return run.fail("no capture finished: no file was written");
    if (!args.csv.empty()) {
      if (!device::WriteTextFile(args.csv, SpectrumCsv(*last), error))
        return run.fail(args.csv + ": " + error);
      json["csv"] = args.csv;
    }
    if (!args.adc.empty()) {
      if (!measure::SaveAdcFile(args.adc, lastSamples, true, error))
        return run.fail(args.adc + ": " + error);
      json["adc"] = args.adc;
    }
  }
  return LoopEnd(run, guard, args.captures == 0, {}, json);
}

int EvmCommand(CommandRun& run, const MeasureArguments& args) {
  device::DeviceContext& device = run.device();
  LoadConfigurationWords(run.configMemory());
  const auto component = measure::EvmComponent::Load();
  if (!component)
    return run.fail("the EVM component " + std::string(measure::kEvmLibraryName) + " (" +
                    std::string(measure::kEvmFunctionName) + ") could not be loaded");
  MeasureRadio radio(device, run.session().channels);
  if (const auto refused = TuneFromArguments(run, radio, args)) return *refused;
  measure::FftCaptureSettings settings;
  settings.domain = measure::Domain::Time;  // auto trigger: a frame starts the capture
  settings.triggerOffset = kEvmTriggerOffset;
  settings.maxCaptures = static_cast<int>(args.captures);
  settings.reportUnfinished = true;
  InterruptGuard guard;
  measure::SampleStore store;
  Json captures = Json::array();
  measure::RunFftCaptures(
      device, settings, guard.running(), store, nullptr, [&](const measure::FftCaptureResult& r) {
        const std::optional<double> evm =
            r.samples == nullptr ? std::nullopt : component->measure(r.samples->i0, r.samples->q0);
        Line(run, measure::FormatEvmText(evm) + '\n');
        captures.push_back({{"evm", evm ? Json(*evm) : Json(nullptr)}});
      });
  return LoopEnd(run, guard, args.captures == 0, {}, {{"captures", captures}});
}

int NoiseScanCommand(CommandRun& run, const MeasureArguments& args) {
  device::DeviceContext& device = run.device();
  LoadConfigurationWords(run.configMemory());
  MeasureRadio radio(device, run.session().channels);
  measure::NoiseScanOptions options;
  options.band = args.band == "5" ? measure::NoiseBand::Five : measure::NoiseBand::TwoPointFour;
  options.offsets = measure::BoardRssiOffsets(run.configMemory(), options.band);
  // A scan of no channel measured nothing: it is not a result.
  if (measure::NoiseScanChannels(run.session().channels, options.band).empty())
    return run.fail("the channel list offers no " + args.band + " GHz channel: nothing to scan");
  InterruptGuard guard;
  Json channels = Json::array();
  measure::RunNoiseScan(
      device, run.memoryMode(), run.session().channels, radio, options, guard.stop(), [&](const measure::NoiseChannelResult& result) {
        const int number = run.session().channels.channelList.empty()
                               ? result.index + 1
                               : run.session().channels.channelList[static_cast<std::size_t>(result.index)];
        std::string line = Format("ch %3d", number);
        Json rssi = Json::array();
        for (std::size_t path = 0; path < result.rssi.size(); ++path) {
          if (!result.rssi[path]) continue;
          line += Format("  RSSI %zu: %4d dBm", path, *result.rssi[path]);
          rssi.push_back(*result.rssi[path]);
        }
        Line(run, line + '\n');
        channels.push_back({{"channel", number}, {"rssi", rssi}});
      });
  return LoopEnd(run, guard, false, {}, {{"band", args.band}, {"channels", channels}});
}

int IqCalCommand(CommandRun& run, measure::IqCalibrationKind kind) {
  device::DeviceContext& device = run.device();
  LoadConfigurationWords(run.configMemory());
  InterruptGuard guard;
  measure::IqCalibration calibration(device);
  const measure::IqCalibrationResult result = calibration.run(kind, guard.stop());
  std::string text;
  for (const measure::IqField& field : measure::IqCalibrationFields(result, kind))
    text += Format("%-12s %s\n", std::string(field.caption).c_str(), field.text.c_str());
  const measure::SignalStatistics& s = result.last;
  Json json = {
      {"measurements", result.measurements},
      {"statistics", {{"mi", s.mi}, {"mq", s.mq}, {"si", s.si}, {"sq", s.sq}, {"cross", s.cross}}}};
  if (kind == measure::IqCalibrationKind::RxIq) {
    json["gain"] = result.gain;
    json["phase"] = result.phase;
    json["r40"] = result.r40;
    json["r41"] = result.r41;
  } else {
    json["theta0"] = result.theta0;
    json["theta1"] = result.theta1;
    json["groupDelay"] = result.groupDelay;
    json[kind == measure::IqCalibrationKind::GroupDelay ? "r42" : "r53"] = result.delayRegister;
  }
  if (result.measurements == 0) return run.fail("interrupted before the first measurement");
  return LoopEnd(run, guard, false, text, json);
}

int PapdCommand(CommandRun& run, const MeasureArguments& args, bool read) {
  const auto target = measure::PapdTargetNamed(args.memory);
  if (!target)
    return run.usage("MEMORY must be pbf, share, scope, waveform or table, not \"" + args.memory +
                     "\"");
  if (!read && target->kind == measure::PapdTarget::Kind::Table)
    return run.usage("the PAPD table is read only: papd read table FILE");
  measure::PapdTestTool tool(run.device());
  const page::Outcome outcome =
      read ? tool.readFile(*target, args.file) : tool.writeFile(*target, args.file);
  const measure::MemoryFileResult& result = tool.lastResult();
  if (outcome == page::Outcome::Done)
    return run.done(tool.status() + '\n', {{"memory", args.memory},
                                           {"file", args.file},
                                           {"values", result.values},
                                           {"ignored", result.ignored}});
  // The prompt has said why on standard error.
  if (run.json()) run.out() << JsonLine({{"ok", false}, {"message", tool.status()}});
  return outcome == page::Outcome::Refused ? kExitUsage : kExitFailed;
}

}  // namespace

void AddMeasureCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<MeasureArguments>();

  CLI::App& capture =
      table.add(program, "capture", "capture-mode dump: raw samples into text files (CR LF)",
                [args](CommandRun& run) { return CaptureCommand(run, *args); });
  capture.add_option("--format", args->format, "adc8 (two 8-bit samples a line, default) or adc6")
      ->type_name("F")
      ->check(OneOf({"adc8", "adc6"}));
  capture
      .add_option("--count", args->count,
                  "captures, one file each (default 1; \"_%05d\" numbers them)")
      ->type_name("N")
      ->transform(DecimalNumber(kMaxCount));
  capture.add_option("--trigger", args->trigger, "auto (on a frame, default) or manual (at once)")
      ->type_name("T")
      ->check(OneOf({"auto", "manual"}));
  capture.add_option("OUT", args->out, "the file name; its extension becomes .txt")
      ->required()
      ->type_name("FILE");

  CLI::App& spectrum = table.add(program, "spectrum",
                                 "captures and prints each one's noise figure (\"noise %.2f dB\")",
                                 [args](CommandRun& run) { return SpectrumCommand(run, *args); });
  spectrum.add_option("--captures", args->captures, "how many (default 1; 0: until Ctrl+C)")
      ->type_name("N")
      ->transform(DecimalNumber(kMaxCount));
  spectrum.add_option("--channel", args->channel, "tune to this 2.4 GHz channel first (1 to 14)")
      ->type_name("N")
      ->check(ChannelNumber());
  spectrum.add_option("--bw", args->bandwidth, "the span: 20 (default) or 40 MHz")
      ->type_name("MHZ")
      ->check(OneOf({"20", "40"}));
  spectrum.add_option("--csv", args->csv, "writes the last spectrum: \"mhz,db\", 512 rows")
      ->type_name("FILE")
      ->check(WritableFile());
  spectrum.add_option("--adc", args->adc, "writes the last capture's samples as an .adc file")
      ->type_name("FILE")
      ->check(WritableFile());

  CLI::App& evm =
      table.add(program, "evm",
                "captures a frame at a time and prints its RX EVM (\"%.6f dB\" or \"no frame\")",
                [args](CommandRun& run) { return EvmCommand(run, *args); });
  evm.add_option("--captures", args->captures, "how many (default 1; 0: until Ctrl+C)")
      ->type_name("N")
      ->transform(DecimalNumber(kMaxCount));
  evm.add_option("--channel", args->channel, "tune to this 2.4 GHz channel first (1 to 14)")
      ->type_name("N")
      ->check(ChannelNumber());

  CLI::App& noise = CommandTable::Group(program, "noise", "the noise level per channel");
  CLI::App& scan =
      table.add(noise, "scan", "prints each channel's trimmed-mean RSSI per receive path",
                [args](CommandRun& run) { return NoiseScanCommand(run, *args); });
  scan.add_option("--band", args->band, "2.4 (default) or 5 GHz")
      ->type_name("GHZ")
      ->check(OneOf({"2.4", "5"}));

  CLI::App& iqcal = CommandTable::Group(program, "iqcal",
                                        "the receiver's IQ imbalance and the proposed registers");
  const std::pair<const char*, measure::IqCalibrationKind> calibrations[] = {
      {"rx", measure::IqCalibrationKind::RxIq},
      {"grpdly", measure::IqCalibrationKind::GroupDelay},
      {"rxgrpdly", measure::IqCalibrationKind::RxGroupDelay}};
  const char* descriptions[] = {"gain and phase: proposes R40 and R41", "group delay: proposes R42",
                                "receive group delay: proposes R53"};
  for (std::size_t i = 0; i < std::size(calibrations); ++i)
    table.add(iqcal, calibrations[i].first, descriptions[i],
              [kind = calibrations[i].second](CommandRun& run) { return IqCalCommand(run, kind); });

  CLI::App& papd = CommandTable::Group(program, "papd", "the PA/PD test memories and text files");
  for (const bool read : {true, false}) {
    CLI::App& command =
        table.add(papd, read ? "read" : "write",
                  read ? "reads a memory into a file" : "writes a file into a memory",
                  [args, read](CommandRun& run) { return PapdCommand(run, *args, read); });
    command
        .add_option("MEMORY", args->memory,
                    "pbf, share, scope (the data scope port), waveform or table")
        ->required()
        ->type_name("MEMORY");
    command.add_option("FILE", args->file, "the text file")->required()->type_name("FILE");
  }
}

}  // namespace kqa::cli
