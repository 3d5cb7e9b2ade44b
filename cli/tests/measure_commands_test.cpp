// The measurement commands in-process against the emulated Kestrel in a
// radio environment of the test's own.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "app/device/text_format.h"
#include "app/measure/spectrum.h"
#include "app/measure/tests/measure_rig.h"
#include "cli/interrupt.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedRig;
using testing::CliRun;

CliRun RunOn(EmulatedRig& bench, std::vector<std::string> arguments) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments));
}

class MeasureCommands : public ::testing::Test {
 protected:
  MeasureCommands()
      : folder_(std::filesystem::temp_directory_path() /
                ("kqa-cli-measure-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
  }
  ~MeasureCommands() override { std::filesystem::remove_all(folder_); }
  std::string file(const std::string& name) const { return (folder_ / name).string(); }

  std::filesystem::path folder_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(MeasureCommands, SpectrumPrintsTheNoiseAndWritesTheToneInItsCsv) {
  EmulatedRig bench(
      measure::testing::RadioRig("noise default -97\ntone channel=4 level=-80 offset=-6.25\n"));
  bench.clock().sleep(std::chrono::milliseconds(50));
  const std::uint8_t r65 = bench.chip().peekBbp(65);
  const CliRun run = RunOn(bench, {"spectrum", "--captures", "2", "--channel", "4", "--csv",
                                   file("s.csv"), "--adc", file("s.adc")});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  for (const std::string& line : lines) {
    double noise = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "noise %lf dB", &noise), 1) << line;
    EXPECT_EQ(line, device::Format("noise %.2f dB", noise));
  }
  EXPECT_EQ(bench.chip().peekBbp(65), r65) << "the frozen gain is given back";
  // "mhz,db" and 512 rows; the peak one bin (20/256 MHz) below the tone.
  std::ifstream csvFile(file("s.csv"));
  const auto csv = Lines(std::string(std::istreambuf_iterator<char>(csvFile), {}));
  ASSERT_EQ(csv.size(), 513u);
  EXPECT_EQ(csv[0], "mhz,db");
  EXPECT_EQ(csv[1].substr(0, csv[1].find(',')), "-20.000000");
  double peakX = 0, peakY = -1000;
  for (std::size_t i = 1; i < csv.size(); ++i) {
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(csv[i].c_str(), "%lf,%lf", &x, &y), 2);
    if (y > peakY) peakX = x, peakY = y;
  }
  EXPECT_LE(std::abs(peakX + 6.25), 20.0 / 256) << peakX;
  std::ifstream adc(file("s.adc"));
  int real = 0, imag = 0, samples = 0;
  while (adc >> real >> imag) ++samples;
  EXPECT_EQ(samples, 8192);

  const CliRun json = RunOn(bench, {"spectrum", "--json"});
  EXPECT_EQ(json.exitCode, kExitOk);
  EXPECT_NE(json.out.find("\"captures\":[{\"noise\":"), std::string::npos) << json.out;
  EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1);
}

TEST_F(MeasureCommands, EvmMeasuresEachFrameThatTriggersACapture) {
  EmulatedRig bench(
      measure::testing::RadioRig("noise default -95\ngenerator channel=1 level=-75 frames=500 "
                                   "interval=3 rate=ofdm-36 length=600 start=5\n"));
  const CliRun run = RunOn(bench, {"evm", "--captures", "2", "--channel", "1"});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  for (const std::string& line : lines) {
    double evm = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf dB", &evm), 1) << line;
    EXPECT_EQ(line, device::Format("%.6f dB", evm));
    EXPECT_NEAR(evm, -20.0, 2.0) << "20 dB over the floor";
  }
  // No frame on channel 6: each capture waits its 10 s for a trigger in vain.
  EXPECT_EQ(RunOn(bench, {"evm", "--channel", "6"}).out, "no frame\n");
}

TEST_F(MeasureCommands, NoiseScanReportsTheFloorOfEachChannel) {
  EmulatedRig bench(measure::testing::RadioRig("noise default -95\nnoise 3 -88\n"));
  const CliRun run = RunOn(bench, {"noise", "scan"});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 14u) << run.out;
  for (int channel = 1; channel <= 14; ++channel) {
    int number = 0, rssi0 = 0, rssi1 = 0;
    ASSERT_EQ(std::sscanf(lines[static_cast<std::size_t>(channel - 1)].c_str(),
                          "ch %d RSSI 0: %d dBm RSSI 1: %d dBm", &number, &rssi0, &rssi1),
              3)
        << lines[static_cast<std::size_t>(channel - 1)];
    EXPECT_EQ(number, channel);
    const int floor = channel == 3 ? -88 : -95;
    EXPECT_NEAR(rssi0, floor, 1) << channel;
    EXPECT_NEAR(rssi1, floor, 1) << channel;
  }
  const CliRun five = RunOn(bench, {"noise", "scan", "--band", "5", "--json"});
  // A scan of no channel measured nothing: it fails rather than pass empty.
  EXPECT_EQ(five.exitCode, kExitFailed);
  EXPECT_TRUE(five.out.starts_with("{\"ok\":false,")) << five.out;
  EXPECT_NE(five.err.find("no 5 GHz channel: nothing to scan"), std::string::npos) << five.err;
}

TEST_F(MeasureCommands, IqcalProposesTheRegistersForTheImbalance) {
  chip::KestrelOptions options = measure::testing::RadioRig("noise default -95\n");
  options.radio.iqGainImbalance = -0.05;
  options.radio.iqPhaseDeg = -2.25;
  EmulatedRig bench(options);
  const CliRun rx = RunOn(bench, {"iqcal", "rx"});
  ASSERT_EQ(rx.exitCode, kExitOk) << rx.err;
  // floor(0.5 + 0.05 x 128) = 6 and floor(0.5 + 2.25 x 4) = 9, within a step.
  double r40 = 0, r41 = 0;
  const auto lines = Lines(rx.out);
  ASSERT_EQ(lines.size(), 9u) << rx.out;
  EXPECT_EQ(lines[0].substr(0, 3), "mi ");
  ASSERT_EQ(std::sscanf(lines[7].c_str(), "Cal R40= %lf", &r40), 1) << lines[7];
  ASSERT_EQ(std::sscanf(lines[8].c_str(), "Cal R41= %lf", &r41), 1) << lines[8];
  EXPECT_NEAR(r40, 6, 1);
  EXPECT_NEAR(r41, 9, 1);
  const CliRun delay = RunOn(bench, {"iqcal", "rxgrpdly", "--json"});
  EXPECT_NE(delay.out.find("\"r53\":0"), std::string::npos) << delay.out;
  EXPECT_EQ(RunOn(bench, {"iqcal", "txgrpdly"}).exitCode, kExitUsage);
}

TEST_F(MeasureCommands, PapdMovesTheMemoriesAndRefusesWhatItCannot) {
  EmulatedRig bench;
  std::ofstream(file("in.txt")) << "11223344\n55667788\n";
  const CliRun write = RunOn(bench, {"papd", "write", "share", file("in.txt")});
  EXPECT_EQ(write.exitCode, kExitOk) << write.err;
  EXPECT_EQ(write.out, "Wrote 2 words of in.txt to the share memory.\n");
  const CliRun read = RunOn(bench, {"papd", "read", "share", file("out.txt")});
  EXPECT_EQ(read.out, "Read 6144 words from the share memory into out.txt.\n");
  std::ifstream out(file("out.txt"));
  std::string first, second;
  out >> first >> second;
  EXPECT_EQ(second, "55667788");
  EXPECT_EQ(RunOn(bench, {"papd", "read", "table", file("table.txt")}).exitCode, kExitOk);

  std::ofstream(file("bad.txt")) << "1\nnot hex\n";
  const CliRun bad = RunOn(bench, {"papd", "write", "pbf", file("bad.txt")});
  EXPECT_EQ(bad.exitCode, kExitUsage);
  EXPECT_NE(bad.err.find("Line 2: \"not hex\" is not a hexadecimal number."), std::string::npos)
      << bad.err;
  EXPECT_EQ(RunOn(bench, {"papd", "write", "table", file("in.txt")}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"papd", "read", "flash", file("x.txt")}).exitCode, kExitUsage);
}

TEST_F(MeasureCommands, CaptureWritesNumberedFilesOfTheChipsSamples) {
  EmulatedRig bench(measure::testing::RadioRig("noise default -75\n"));
  const CliRun run = RunOn(bench, {"capture", "--count", "2", "--trigger", "manual", "--format",
                                   "adc6", file("run.cap")});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(run.out, file("run_00001.txt") + "\n" + file("run_00002.txt") + "\n");
  EXPECT_NE(run.err.find("Capture data done!"), std::string::npos);
  // ADC6: one sample a line, "+" above zero, a tab, CR LF; 8 lines a word index.
  std::ifstream in(file("run_00002.txt"), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8192 * 8);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 8192 * 8);
  EXPECT_EQ(text.substr(text.size() - 3), "\t\r\n");

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"capture", "--format", "adc7", "x"},
        {"capture", "--trigger", "soon", "x"},
        {"spectrum", "--bw", "30"},
        {"spectrum", "--channel", "15"},
        {"spectrum", "--bw", "40"},
        {"spectrum", "--captures", "-1"},
        {"evm", "--captures", "x"},
        {"noise", "scan", "--band", "6"},
        // An output file that cannot be written is refused before the capture.
        {"spectrum", "--csv", "/nonexistent/x.csv"},
        {"spectrum", "--adc", file("")}})
    EXPECT_EQ(RunOn(bench, bad).exitCode, kExitUsage) << bad[1] << ' ' << bad[2];
}

TEST_F(MeasureCommands, CtrlCEndsAnEndlessSpectrumAfterItsCapture) {
  EmulatedRig bench(measure::testing::RadioRig("noise default -95\n"));
  const std::uint8_t r66 = bench.chip().peekBbp(66);
  CliRun run;
  std::atomic<bool> ended = false;
  const auto start = bench.clock().now();
  std::thread command([&] {
    run = RunOn(bench, {"spectrum", "--captures", "0", "--json"});
    ended = true;
  });
  // The loop runs on virtual time as fast as it can: two virtual seconds
  // in, it has made many captures; then Ctrl+C until it has ended.
  while (bench.clock().now() - start < std::chrono::seconds(2))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  while (!ended) {
    InterruptGuard::Interrupt();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  command.join();
  EXPECT_NE(run.out.find("\"captures\":[{\"noise\":"), std::string::npos) << run.out;
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;  // 0 captures: until Ctrl+C
  EXPECT_NE(run.out.find("\"interrupted\":true"), std::string::npos) << run.out;
  EXPECT_EQ(bench.chip().peekRegister(0x0404), 0x00F40016u) << "the capture memory was given back";
  EXPECT_EQ(bench.chip().peekBbp(66), r66);
}

}  // namespace
}  // namespace kqa::cli
