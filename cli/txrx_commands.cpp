// tx, rx, channel, bw, mode and usb: the TX/RX page's logic from the shell.
// Each command makes its own TxRxTester, which first reads what runs on the
// chip (another command may have started it through kestrelqa-usbd).
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/pipelines.h"
#include "app/device/text_format.h"
#include "app/txrx/frame_presets.h"
#include "app/txrx/rate_lists.h"
#include "app/txrx/run_settings_json.h"
#include "app/txrx/txrx_tester.h"
#include "app/txrx/usb_descriptor.h"
#include "cli/arguments.h"
#include "cli/cli_output.h"
#include "cli/command_table.h"
#include "cli/lasting_activity.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

using device::Format;
using page::Outcome;
using txrx::ContinuousTest;
using txrx::PageTimer;
using txrx::TxRxTester;

constexpr const char* kQueueNames[txrx::kQueueSlots] = {"AC0", "AC1",  "AC2", "AC3", "MGMT",
                                                        "HCCA", "AC4", "AC5", "AC6", "AC7"};

struct TxRxArguments {
  std::string settingsFile;
  std::vector<std::string> assignments;
  std::uint32_t count = 0;
  bool endless = false;
  bool continuous = false;
  bool carrier = false;
  bool suppression = false;
  bool loopback = false;
  std::uint32_t seconds = 1;
  std::uint32_t channel = 0;
  std::string bandwidth;
  std::string mode;
  std::uint32_t rate = 0;
};

TxRxTester MakeTester(CommandRun& run) {
  return TxRxTester({run.device(), run.session().memoryMode}, run.session().channels);
}

// The exit of an action's outcome. Its reason is on standard error already
// (the prompt's message); the JSON answer carries it too.
int Exit(CommandRun& run, Outcome outcome, const std::string& what) {
  const std::vector<std::string>& messages = run.session().prompt.messages();
  const std::string reason = messages.empty() ? std::string() : messages.back();
  const auto told = [&](const std::string& summary) {
    return run.json() && !reason.empty() ? summary + ": " + reason : summary;
  };
  switch (outcome) {
    case Outcome::Done: return kExitOk;
    case Outcome::Refused: return run.usage(told(what + " was refused"));
    case Outcome::Cancelled: return run.fail(told(what + " was cancelled"));
    case Outcome::Failed: break;
  }
  return run.fail(told(what + " failed"));
}

// The run settings of --settings FILE and --set KEY=VALUE (which override
// the file), applied to `tester.run`; the problem, or empty.
std::string ApplySettings(TxRxTester& tester, const TxRxArguments& args, nlohmann::json& given) {
  given = nlohmann::json::object();
  if (!args.settingsFile.empty()) {
    std::ifstream file(args.settingsFile);
    if (!file) return "cannot read the settings file " + args.settingsFile;
    given = nlohmann::json::parse(file, nullptr, false);
    if (given.is_discarded()) return args.settingsFile + " is not JSON";
    if (!given.is_object()) return args.settingsFile + ": the run settings must be a JSON object";
  }
  for (const std::string& assignment : args.assignments)
    if (std::string problem = txrx::AddSettingAssignment(given, assignment); !problem.empty()) return problem;
  return txrx::ReadRunSettings(given, tester.run, tester.presetApplier());
}

void AddSettingsOptions(CLI::App& command, TxRxArguments& args) {
  command.add_option("--settings", args.settingsFile, "run settings as one JSON object (the keys: \"Run settings\" in cli/README.md)")
      ->type_name("FILE.json");
  command.add_option("--set", args.assignments, "one run setting, e.g. --set totalBytes=1500 --set fc=0800")
      ->type_name("KEY=VALUE");
}

Json QueueCounts(const device::TxProgressWords& words) {
  Json queues = Json::object();
  for (std::size_t slot = 0; slot < txrx::kQueueSlots; ++slot) queues[kQueueNames[slot]] = words[slot + 1];
  return queues;
}

std::string QueueText(const device::TxProgressWords& words) {
  std::string text = Format("sent %d\n", static_cast<int>(words[0]));
  for (std::size_t slot = 0; slot < txrx::kQueueSlots; ++slot)
    text += Format("%-5s %d\n", kQueueNames[slot], static_cast<int>(words[slot + 1]));
  return text;
}

// --- tx ---------------------------------------------------------------------------

int TxRecord(CommandRun& run, const TxRxArguments& args) {
  TxRxTester tester = MakeTester(run);
  tester.radio().loadConfiguration();
  nlohmann::json given;
  if (std::string problem = ApplySettings(tester, args, given); !problem.empty()) return run.usage(problem);
  run.device().settings.phyMode = tester.run.mode;
  run.device().settings.rateIndex = tester.run.rate;
  const Outcome built = tester.buildRecord();
  if (built != Outcome::Done) return Exit(run, built, "the build");
  const txrx::TxBuild& build = tester.lastBuild();
  const std::string text = build.record.empty() ? "a beacon builds no record: the page sends nothing\n"
                                                : HexDump(0, build.record);
  return run.done(text, {{"frameType", build.frameType},
                         {"repeat", build.repeat},
                         {"packetLength", build.packetLength()},
                         {"record", HexString(build.record)}});
}

ContinuousTest ChosenTest(const TxRxArguments& args) {
  if (args.continuous) return ContinuousTest::Modulated;
  if (args.carrier) return ContinuousTest::Carrier;
  if (args.suppression) return ContinuousTest::Suppression;
  return ContinuousTest::None;
}

int TxStart(CommandRun& run, const TxRxArguments& args) {
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  if (tester.txRunning()) return run.fail("a transmission runs already; stop it with \"tx stop\"");
  nlohmann::json given;
  if (std::string problem = ApplySettings(tester, args, given); !problem.empty()) return run.usage(problem);
  if (args.count > 0) tester.run.repeat = std::to_string(args.count);
  if (args.endless) tester.run.repeat = "0";

  // The radio steps of the choices the settings name.
  const int mode = tester.run.mode;
  const int rate = tester.run.rate;
  const bool wide = tester.run.bw40;
  if (given.contains("mode")) tester.selectMode(mode);
  if (given.contains("mode") || given.contains("rate")) tester.selectRate(rate);
  if (given.contains("bw40")) tester.selectBandwidth(wide ? 1 : 0);
  run.device().settings.phyMode = mode;
  run.device().settings.rateIndex = rate;

  const ContinuousTest test = ChosenTest(args);
  if (test != ContinuousTest::None) {
    if (const Outcome checked = tester.setContinuousTest(test, true); checked != Outcome::Done)
      return Exit(run, checked, "the continuous test");
  }
  if (const Outcome started = tester.toggleTx(); started != Outcome::Done) return Exit(run, started, "the start");
  const txrx::TxBuild& build = tester.lastBuild();

  if (test != ContinuousTest::None || build.frameType == txrx::kBeaconFrameType) {
    const char* what = test == ContinuousTest::Modulated   ? "continuous transmission"
                       : test == ContinuousTest::Carrier    ? "carrier"
                       : test == ContinuousTest::Suppression ? "suppressed carrier"
                                                              : "nothing (a beacon is not sent)";
    return run.done(Format("started: %s; \"tx stop\" ends it\n", what),
                    {{"started", what}, {"frameType", build.frameType}});
  }
  if (build.repeat == 0) {
    if (run.session().driverInProcess)
      run.err() << "kestrelqa-cli: " << EndsWithProcessNote(*ActivityStartedBy(ioctl::VQ_OID_USB_TX_START)) << '\n';
    return run.done("started: sending until \"tx stop\"\n", {{"started", "endless"}, {"frameType", build.frameType}});
  }

  // A counted run: wait until it has sent its packets, then complete it.
  ActivityWait wait;
  wait.count = build.repeat;
  wait.stalledAfter = std::chrono::seconds(5);
  device::TxProgressWords words{};
  const ActivityWaitResult waited = WaitForActivity(run.device().clock, wait, [&]() -> std::optional<std::uint64_t> {
    if (!device::QueryTxProgress(run.device(), words).ok) return std::nullopt;
    return words[0];
  });
  if (waited.end == ActivityWaitResult::End::Failed) return run.fail("the TX progress could not be read");
  if (waited.end == ActivityWaitResult::End::Stalled)
    return run.fail(Format("the run stalled after %llu of %u packets", static_cast<unsigned long long>(waited.last),
                           build.repeat));
  tester.tick(PageTimer::Statistics);
  // With loopback the page leaves TX enabled after a completed run; a later
  // command would read that as a run still going.
  if (!tester.txRunning() && tester.loopback()) tester.stopTransmission();
  Json json = {{"sent", words[0]}, {"count", build.repeat}, {"complete", !tester.txRunning()}};
  json["queues"] = QueueCounts(words);
  return run.done(QueueText(words), json);
}

int TxStop(CommandRun& run) {
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  const bool running = tester.txRunning();
  if (const Outcome stopped = tester.stopTransmission(); stopped != Outcome::Done)
    return Exit(run, stopped, "the stop");
  return run.done(running ? "stopped\n" : "stopped (nothing was transmitting)\n", {{"wasRunning", running}});
}

int TxStatus(CommandRun& run) {
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  device::TxProgressWords words{};
  if (!device::QueryTxProgress(run.device(), words).ok) return run.fail("the TX progress could not be read");
  Json json = {{"sent", words[0]}, {"running", tester.txRunning()}};
  json["queues"] = QueueCounts(words);
  return run.done(QueueText(words), json);
}

// --- rx ---------------------------------------------------------------------------

int RxStart(CommandRun& run, const TxRxArguments& args) {
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  const Outcome started = args.loopback ? tester.setLoopback(true)
                          : tester.rxRunning() ? Outcome::Done
                                               : tester.toggleRx();
  if (started != Outcome::Done) return Exit(run, started, "the start of reception");
  if (run.session().driverInProcess)
    run.err() << "kestrelqa-cli: " << EndsWithProcessNote(*ActivityStartedBy(ioctl::VQ_OID_USB_RX0_START)) << '\n';
  return run.done(args.loopback ? "receiving, with loopback\n" : "receiving\n", {{"loopback", tester.loopback()}});
}

int RxStop(CommandRun& run) {
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  const bool running = tester.rxRunning();
  Outcome stopped = Outcome::Done;
  if (tester.loopback())
    stopped = tester.setLoopback(false);
  else if (running)
    stopped = tester.toggleRx();
  if (stopped != Outcome::Done) return Exit(run, stopped, "the stop of reception");
  return run.done(running ? "reception stopped\n" : "reception stopped (it was not running)\n",
                  {{"wasRunning", running}});
}

std::string StatisticsLine(const TxRxTester& tester) {
  const txrx::TxRxDisplays& shown = tester.displays();
  std::string line;
  for (std::size_t i = 0; i < txrx::kReceiveCounters; ++i) {
    const std::string_view caption = txrx::ReceiveCounterCaptions()[i];
    line += Format("%.*s %s  ", static_cast<int>(caption.size()), caption.data(), shown.counters[i].c_str());
  }
  line += "FER : " + shown.fer + "  Frame Loss : " + shown.frameLoss;
  for (int p = 0; p < tester.lastSignal().rxPaths; ++p)
    line += Format("  RSSI%d = %s", p, shown.rssi[static_cast<std::size_t>(p)].c_str());
  line += "  SNR0 : " + shown.snr[0] + "  SNR1 : " + shown.snr[1];
  line += "  Freq. Deviation : " + shown.deviation + "\n";
  return line;
}

Json StatisticsJson(const TxRxTester& tester, std::uint64_t second) {
  const txrx::SignalSnapshot& signal = tester.lastSignal();
  const txrx::StatisticsRefresh& stats = signal.statistics;
  // Frames of the four kinds the driver sorts them into.
  const std::uint64_t received = std::uint64_t{stats.total[4]} + stats.total[5] + stats.total[6] + stats.total[7];
  Json counters = Json::object();
  const char* names[txrx::kReceiveCounters] = {"fcsErrors", "rxOverflow", "phyErrors", "falseCca",
                                               "u2mData",   "otherData",  "beacons",   "otherMgmtCtrl"};
  for (std::size_t i = 0; i < txrx::kReceiveCounters; ++i)
    counters[names[i]] = {{"second", stats.delta[i]}, {"total", stats.total[i]}};
  Json rssi = Json::array();
  for (int p = 0; p < signal.rxPaths; ++p) rssi.push_back(signal.rssiDbm[static_cast<std::size_t>(p)]);
  const auto percent = [](const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); };
  return {{"second", second},
          {"received", received},
          {"fcsErrors", stats.total[0]},
          {"fer", percent(signal.fer)},
          {"frameLoss", percent(signal.frameLoss)},
          {"rssi", rssi},
          {"snr", {signal.snrDb[0], signal.snrDb[1]}},
          {"freqDevKhz", signal.deviationKhz},
          {"freqDevPpm", signal.deviationPpm},
          {"counters", counters}};
}

int RxStats(CommandRun& run, const TxRxArguments& args) {
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  nlohmann::json given;
  if (std::string problem = ApplySettings(tester, args, given); !problem.empty()) return run.usage(problem);
  // Reception for this command's own lifetime when nothing receives.
  const bool started = !tester.rxRunning();
  if (started && tester.toggleRx() != Outcome::Done) return run.fail("reception could not be started");

  // The first refresh is the baseline for the first second's counts. Each
  // second passes in short steps, as the chip's receive FIFO is emptied in
  // real time (and on a test's virtual clock only while the clock moves).
  bool failed = false;
  for (std::uint32_t second = 0; second <= args.seconds && !failed; ++second) {
    if (second > 0)
      for (int step = 0; step < 50; ++step) run.device().clock.sleep(std::chrono::milliseconds(20));
    tester.tick(PageTimer::Statistics);
    failed = !tester.lastSignal().fresh;
    if (failed || second == 0) continue;
    if (run.json())
      run.out() << JsonLine(StatisticsJson(tester, second));
    else
      run.out() << StatisticsLine(tester);
    run.out().flush();
  }
  if (started) tester.toggleRx();
  if (failed) return run.fail("the receive statistics could not be read");
  return kExitOk;
}

// --- channel, bw, mode, usb ---------------------------------------------------------

int Channel(CommandRun& run, const TxRxArguments& args) {
  const device::ChannelState& channels = run.session().channels;
  int index = -1;
  for (std::size_t i = 0; i < channels.channelList.size(); ++i)
    if (channels.channelList[i] == args.channel) index = static_cast<int>(i);
  if (index < 0)
    return run.usage(Format("channel %u is not in the channel list (%u to %u)", args.channel,
                            channels.channelList.empty() ? 0u : channels.channelList.front(),
                            channels.channelList.empty() ? 0u : channels.channelList.back()));
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  if (const Outcome tuned = tester.selectChannel(index); tuned != Outcome::Done) return Exit(run, tuned, "the channel change");
  const txrx::TxRxDisplays& shown = tester.displays();
  return run.done(Format("channel %u: TX Power0 %s, TX Power1 %s, Freq. Offset %s, %s\n", args.channel,
                         shown.tx0Power.c_str(), shown.tx1Power.empty() ? "--" : shown.tx1Power.c_str(),
                         shown.frequencyOffset.c_str(), shown.extLna.c_str()),
                  {{"channel", args.channel},
                   {"index", index},
                   {"tx0Power", shown.tx0Power},
                   {"tx1Power", shown.tx1Power},
                   {"frequencyOffset", shown.frequencyOffset},
                   {"extLna", shown.extLna}});
}

int Bandwidth(CommandRun& run, const TxRxArguments& args) {
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  const bool wide = args.bandwidth == "40";
  if (const Outcome set = tester.selectBandwidth(wide ? 1 : 0); set != Outcome::Done) return Exit(run, set, "the bandwidth change");
  return run.done(Format("bandwidth %s MHz\n", args.bandwidth.c_str()), {{"bandwidth", wide ? 40 : 20}});
}

int ModeOf(const std::string& word) {
  const std::pair<const char*, int> names[] = {{"0", 0}, {"cck", 0}, {"1", 1}, {"ofdm", 1},
                                               {"2", 2}, {"ht-mixed", 2}, {"3", 3}, {"ht-greenfield", 3}};
  for (const auto& [name, mode] : names)
    if (word == name) return mode;
  return -1;
}

int Mode(CommandRun& run, const TxRxArguments& args) {
  const int mode = ModeOf(args.mode);
  const auto rates = txrx::RateNames(std::max(mode, 0));
  if (args.rate >= rates.size())
    return run.usage(Format("RATE must be an index of the mode's rate list, 0 to %zu", rates.size() - 1));
  TxRxTester tester = MakeTester(run);
  if (const Outcome ready = tester.adoptOrActivate(); ready != Outcome::Done) return Exit(run, ready, "the set-up");
  Outcome set = tester.selectMode(mode);
  if (set == Outcome::Done) set = tester.selectRate(static_cast<int>(args.rate));
  if (set != Outcome::Done) return Exit(run, set, "the mode change");
  const std::string_view modeName = txrx::ModeNames()[static_cast<std::size_t>(mode)];
  const std::string_view rateName = rates[args.rate];
  return run.done(Format("mode %.*s, rate %.*s\n", static_cast<int>(modeName.size()), modeName.data(),
                         static_cast<int>(rateName.size()), rateName.data()),
                  {{"mode", mode}, {"rate", args.rate}, {"modeName", modeName}, {"rateName", rateName}});
}

int UsbDescriptor(CommandRun& run) {
  const txrx::UsbDescriptorReading reading = txrx::ReadUsbConfiguration(run.device());
  if (!reading.ok) return run.fail("the device descriptor could not be read");
  std::string text;
  Json fields = Json::object();
  for (const txrx::UsbDescriptorField& field : txrx::UsbDescriptorLayout()) {
    const std::string& value = reading.fields.*field.text;
    text += Format("%-22.*s %s\n", static_cast<int>(field.caption.size()), field.caption.data(), value.c_str());
    fields[std::string(field.caption)] = value;
  }
  return run.done(text, {{"descriptor", HexString(reading.bytes)}, {"fields", fields}});
}

}  // namespace

void AddTxRxCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<TxRxArguments>();

  CLI::App& tx = CommandTable::Group(program, "tx", "transmit runs, as the TX/RX page makes them");
  CLI::App& record = table.add(tx, "record",
                               "builds a run (writing its WCID, key, WMM, IPG and RDG registers) and prints the "
                               "driver TX record, 16 bytes a line, without handing it over",
                               [args](CommandRun& run) { return TxRecord(run, *args); });
  AddSettingsOptions(record, *args);

  CLI::App& start = table.add(tx, "start",
                              "starts a run; a counted run is waited for. Mode, rate and bw40 of the settings "
                              "also program the radio",
                              [args](CommandRun& run) { return TxStart(run, *args); });
  AddSettingsOptions(start, *args);
  CLI::Option* count = start.add_option("--count", args->count, "packets to send")
                           ->type_name("N")
                           ->transform(DecimalNumber(0x7FFFFFFF));
  CLI::Option* endless = start.add_flag("--endless", args->endless, "send until \"tx stop\"");
  count->excludes(endless);
  CLI::Option* continuous = start.add_flag("--continuous", args->continuous, "continuous modulated signal");
  CLI::Option* carrier = start.add_flag("--carrier", args->carrier, "continuous-wave carrier");
  CLI::Option* suppression = start.add_flag("--suppression", args->suppression, "suppressed carrier");
  continuous->excludes(carrier)->excludes(suppression)->excludes(count)->excludes(endless);
  carrier->excludes(suppression)->excludes(count)->excludes(endless);
  suppression->excludes(count)->excludes(endless);

  table.add(tx, "stop", "stops a run or a continuous test", TxStop);
  table.add(tx, "status", "\"sent N\" and the per-queue counts of the run", TxStatus);

  CLI::App& rx = CommandTable::Group(program, "rx", "reception and its statistics, as the TX/RX page shows them");
  CLI::App& rxStart = table.add(rx, "start", "starts reception", [args](CommandRun& run) { return RxStart(run, *args); });
  rxStart.add_flag("--loopback", args->loopback, "loop the chip's own transmissions back into the receiver");
  table.add(rx, "stop", "stops reception (and loopback)", RxStop);
  CLI::App& stats = table.add(rx, "stats",
                              "one line a second: counters, FER, frame loss, RSSI per path, SNR, frequency "
                              "deviation (reception runs for the command when it is off)",
                              [args](CommandRun& run) { return RxStats(run, *args); });
  stats.add_option("--seconds", args->seconds, "how many seconds (default 1)")
      ->type_name("S")
      ->transform(DecimalNumber(86400, 1));
  AddSettingsOptions(stats, *args);

  CLI::App& channel = table.add(program, "channel", "tunes to a channel through the TX/RX page's steps",
                                [args](CommandRun& run) { return Channel(run, *args); });
  channel.add_option("N", args->channel, "the channel number")->required()->transform(DecimalNumber(255));
  CLI::App& bw = table.add(program, "bw", "sets the bandwidth through the TX/RX page's steps",
                           [args](CommandRun& run) { return Bandwidth(run, *args); });
  bw.add_option("MHZ", args->bandwidth, "20 or 40")->required()->check(OneOf({"20", "40"}));
  CLI::App& mode = table.add(program, "mode",
                             "selects PHY mode and rate through the TX/RX page's steps (registers only: a later "
                             "\"tx start\" takes mode and rate from its settings)",
                             [args](CommandRun& run) { return Mode(run, *args); });
  mode.add_option("MODE", args->mode, "0-3 or cck, ofdm, ht-mixed, ht-greenfield")
      ->required()
      ->check(OneOf({"0", "1", "2", "3", "cck", "ofdm", "ht-mixed", "ht-greenfield"}));
  mode.add_option("RATE", args->rate, "index in the mode's rate list")->required()->transform(DecimalNumber(16));

  CLI::App& usb = CommandTable::Group(program, "usb", "the chip's USB configuration");
  table.add(usb, "descriptor", "the device descriptor as the USB Config page shows it", UsbDescriptor);
}

}  // namespace kqa::cli
