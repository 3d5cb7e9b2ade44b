// tx, rx, channel, bw, mode and usb through the in-process driver against
// the emulated Kestrel: what the chip sent, received and holds afterwards.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <fstream>
#include <sstream>

#include "app/device/tests/emulated_rig.h"
#include "chip/radio/environment.h"
#include "chip/radio/radio_side.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedRig;
using testing::CliRun;

CliRun RunOn(EmulatedRig& bench, std::vector<std::string> arguments) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments));
}

chip::KestrelOptions Quiet(const std::string& extra = "") {
  chip::KestrelOptions options;
  options.radio.environment = chip::Environment::Parse("noise default -95\n" + extra);
  return options;
}

std::uint64_t SentByChip(EmulatedRig& bench) {
  return bench.chip().withRadio([](chip::RadioSide& radio) { return radio.transmitter().sentTotal(); });
}

// The JSON objects of a command's output, one a line.
std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST(TxRxCommands, RecordPrintsTheDriverRecordAndSendsNothing) {
  EmulatedRig bench(Quiet());
  // A CTS of ten bytes at OFDM 54 Mbps, worked out by hand: slot 0, length
  // 32 + 4, info word (20 + 10 bytes, bit 19), descriptor words 0 and 1,
  // FC, Dur, Address1, padding to 32, four closing zeros.
  const CliRun cts = RunOn(bench, {"tx", "record", "--set", "frameType=13"});
  ASSERT_EQ(cts.exitCode, kExitOk) << cts.err;
  EXPECT_EQ(cts.out,
            "000: 00 00 00 00 24 00 00 00 20 00 08 00 00 00 07 40\n"
            "010: 00 01 0A 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
            "020: C4 00 00 00 00 0A 40 12 34 56 00 00 00 00 00 00\n");
  // The build's register writes happened: the WCID entry is the station.
  EXPECT_EQ(bench.chip().peekRegister(0x1808), bench.chip().peekRegister(0x1008));
  EXPECT_EQ(SentByChip(bench), 0u);

  // A settings file, then --set over it; a short hex field gets zero digits.
  const std::string file = ::testing::TempDir() + "kqa-run.json";
  std::ofstream(file) << R"({"frameType": 13, "address1": "FFFFFFFFFFFF"})";
  const CliRun json = RunOn(bench, {"tx", "record", "--settings", file, "--set", "dur=12", "--json"});
  ASSERT_EQ(json.exitCode, kExitOk) << json.err;
  const nlohmann::json record = nlohmann::json::parse(json.out);
  EXPECT_EQ(record["packetLength"], 36);
  EXPECT_EQ(record["record"].get<std::string>().substr(64, 20), "C4001200FFFFFFFFFFFF");
}

TEST(TxRxCommands, BadSettingsAreRefusedByNameAndNothingIsSent) {
  EmulatedRig bench(Quiet());
  const struct {
    std::vector<std::string> line;
    const char* named;
  } cases[] = {
      {{"tx", "record", "--set", "fc=0G"}, "\"FC\""},
      {{"tx", "start", "--set", "totalBytes=5000"}, "\"Total bytes\""},
      {{"tx", "start", "--set", "aggregate=11"}, "aggregate"},
      {{"tx", "start", "--set", "bogus=1"}, "bogus"},
      {{"tx", "start", "--set", "mode=7"}, "mode"},
      {{"tx", "record", "--settings", "/nonexistent/run.json"}, "/nonexistent/run.json"},
      {{"tx", "start", "--count", "5", "--carrier"}, "excludes"},
      {{"channel", "15"}, "channel 15"},
      {{"bw", "30"}, "20 or 40"},
      {{"mode", "ofdm", "17"}, "RATE"},
      {{"rx", "stats", "--seconds", "0"}, "--seconds must"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunOn(bench, c.line);
    EXPECT_EQ(run.exitCode, kExitUsage) << c.line[1] << ' ' << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
  }
  EXPECT_EQ(SentByChip(bench), 0u);
  EXPECT_EQ(bench.chip().peekRegister(0x1004) & 0x4, 0u) << "TX never enabled";
}

TEST(TxRxCommands, CountedRunsAndTheContinuousTests) {
  EmulatedRig bench(Quiet());
  const CliRun run = RunOn(bench, {"tx", "start", "--count", "50", "--set", "totalBytes=100"});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_TRUE(run.out.starts_with("sent 50\nAC0   50\nAC1   0\n")) << run.out;
  EXPECT_EQ(SentByChip(bench), 50u);
  const nlohmann::json status = nlohmann::json::parse(RunOn(bench, {"tx", "status", "--json"}).out);
  EXPECT_EQ(status["sent"], 50);
  EXPECT_EQ(status["running"], false);

  // A run with loopback leaves nothing that a later command takes for a
  // transmission (in-process, reception ends with each command: what the
  // chip receives is the daemon test's).
  ASSERT_EQ(RunOn(bench, {"rx", "start", "--loopback"}).exitCode, kExitOk);
  const CliRun looped = RunOn(bench, {"tx", "start", "--count", "30"});
  ASSERT_EQ(looped.exitCode, kExitOk) << looped.err;
  EXPECT_TRUE(looped.out.starts_with("sent 30\n")) << looped.out;
  ASSERT_EQ(RunOn(bench, {"rx", "stop"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRegister(0x1004) & 0x28, 0u) << "reception and loopback off";

  const CliRun carrier = RunOn(bench, {"tx", "start", "--carrier"});
  EXPECT_EQ(carrier.exitCode, kExitOk) << carrier.err;
  EXPECT_EQ(bench.chip().peekBbp(22) & 0x41, 0x41);
  ASSERT_EQ(RunOn(bench, {"tx", "stop"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekBbp(22) & 0x41, 0);
}

TEST(TxRxCommands, GeneratorFramesShowTheirLossAndLevelEachSecond) {
  EmulatedRig bench(Quiet("generator channel=1 level=-60 frames=900 interval=1 start=1500\n"));
  const CliRun stats = RunOn(bench, {"rx", "stats", "--seconds", "4", "--json", "--set", "expectedCount=1000"});
  ASSERT_EQ(stats.exitCode, kExitOk) << stats.err;
  const std::vector<nlohmann::json> seconds = JsonLines(stats.out);
  ASSERT_EQ(seconds.size(), 4u);
  const nlohmann::json& last = seconds.back();
  EXPECT_EQ(last["received"], 900);
  EXPECT_DOUBLE_EQ(last["frameLoss"].get<double>(), 10.0);
  EXPECT_DOUBLE_EQ(last["fer"].get<double>(), 0.0);
  EXPECT_NEAR(last["rssi"][0].get<int>(), -60, 3);
  EXPECT_GT(last["snr"][0].get<double>(), 20.0);
  EXPECT_TRUE(last.contains("freqDevKhz"));
  // The reception this command started for itself ends with it.
  EXPECT_EQ(bench.chip().peekRegister(0x1004) & 0x8, 0u);

  const CliRun text = RunOn(bench, {"rx", "stats"});
  EXPECT_NE(text.out.find("FER : "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("RSSI0 = "), std::string::npos) << text.out;
}

TEST(TxRxCommands, ChannelBandwidthModeAndTheUsbDescriptor) {
  EmulatedRig bench(Quiet());
  const CliRun channel = RunOn(bench, {"channel", "11"});
  ASSERT_EQ(channel.exitCode, kExitOk) << channel.err;
  EXPECT_EQ(bench.chip().peekRf(0, 20), 0x52);
  EXPECT_EQ(channel.out, "channel 11: TX Power0 0F, TX Power1 0E, Freq. Offset 24, ExtLNA = 0\n");
  ASSERT_EQ(RunOn(bench, {"bw", "40"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekBbp(4) & 0x18, 0x10);
  ASSERT_EQ(RunOn(bench, {"bw", "20"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekBbp(4) & 0x18, 0);
  EXPECT_EQ(RunOn(bench, {"mode", "ht-mixed", "7"}).out, "mode HT MixMode, rate MCS=7;   65 Mbps\n");

  const CliRun usb = RunOn(bench, {"usb", "descriptor"});
  ASSERT_EQ(usb.exitCode, kExitOk) << usb.err;
  EXPECT_NE(usb.out.find("Vendor ID              1209\n"), std::string::npos) << usb.out;
  EXPECT_NE(usb.out.find("EP0 MaxPacketSize        40\n"), std::string::npos) << usb.out;
}

}  // namespace
}  // namespace kqa::cli
