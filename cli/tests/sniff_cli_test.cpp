// kestrelqa-cli sniff, sniff decode and sniff convert through the in-process
// driver against the emulated Kestrel, on virtual time.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/device/tests/emulated_rig.h"
#include "app/sniffer/tests/record_builder.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedRig;
using sniffer::testing::BuildRecord;
using sniffer::testing::Frame;
using sniffer::testing::ScratchFolder;
using testing::CliRun;
using Bytes = std::vector<std::uint8_t>;

CliRun RunOn(EmulatedRig& bench, std::vector<std::string> arguments) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments));
}

std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    cells.resize(9);
    rows.push_back(cells);
  }
  return rows;
}

Bytes PacFile(std::uint32_t count, std::initializer_list<Bytes> records) {
  return sniffer::testing::PacImage(count, sniffer::testing::Join(records));
}

// tshark's names of the frame types the bench's air carries.
const std::map<std::string, std::string> kSubtypes = {
    {"Probe request", "0x0004"}, {"Beacon", "0x0008"}, {"RTS", "0x001b"},
    {"CTS", "0x001c"},           {"ACK", "0x001d"},    {"Data", "0x0020"},
    {"Null function", "0x0024"}};

TEST(SniffCli, ACaptureDecodesAndConvertsToFramesTsharkReadsTheSame) {
  EmulatedRig bench;
  ScratchFolder folder;
  const std::string pac = folder.file("lab.pac");
  const CliRun capture = RunOn(bench, {"sniff", "--seconds", "4", "--channel", "1", "--out", pac});
  ASSERT_EQ(capture.exitCode, kExitOk) << capture.err;
  EXPECT_EQ(bench.chip().peekRegister(0x1004) & 0x8, 0u) << "the receiver is put back";

  const CliRun decode = RunOn(bench, {"sniff", "decode", pac});
  ASSERT_EQ(decode.exitCode, kExitOk) << decode.err;
  const auto rows = Rows(decode.out);
  EXPECT_TRUE(capture.out.starts_with("Captured " + std::to_string(rows.size()) + " packets ("))
      << capture.out;
  const Bytes file = sniffer::testing::ReadFile(pac);
  ASSERT_EQ(file.size(), 4 + rows.size() * 4096);
  int beacons = 0;
  int crcErrors = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    char number[24];
    std::snprintf(number, sizeof number, "%05zu", i + 1);
    EXPECT_EQ(rows[i][0], number);
    if (rows[i][5] == "Beacon" && rows[i][2] == "02:4B:51:A0:00:01") ++beacons;
    crcErrors += (file[4 + i * 4096 + 5] & 1) != 0;  // status word bit 8
  }
  EXPECT_GE(beacons, 30) << "one every 102.4 ms from the lab's access point";
  EXPECT_GT(crcErrors, 0) << "the scanner's collisions";

  const std::string pcap = folder.file("lab.pcap");
  const CliRun convert = RunOn(bench, {"sniff", "convert", pac, pcap});
  ASSERT_EQ(convert.exitCode, kExitOk) << convert.err;
  EXPECT_EQ(convert.out, "Converted " + std::to_string(rows.size()) + " packets to " + pcap + "\n");
  if (!sniffer::testing::TsharkInstalled())
    GTEST_SKIP() << "tshark is not installed (scripts/setup installs it)";
  const auto packets = sniffer::testing::Tshark(
      pcap, "-e wlan.fc.type_subtype -e wlan.ra -e wlan_radio.data_rate -e radiotap.flags.badfcs");
  ASSERT_EQ(packets.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::istringstream fields(packets[i]);
    std::string subtype, receiver, rate, badFcs;
    fields >> subtype >> receiver >> rate >> badFcs;
    ASSERT_TRUE(kSubtypes.count(rows[i][5])) << rows[i][5];
    EXPECT_EQ(subtype, kSubtypes.at(rows[i][5])) << i;
    std::string address1 = rows[i][1];
    for (char& c : address1) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(receiver, address1) << i;
    EXPECT_EQ(std::stod(rate), std::stod(rows[i][4])) << i;
    EXPECT_EQ(badFcs, (file[4 + i * 4096 + 5] & 1) != 0 ? "1" : "0") << i;
  }

  // The lab's beacons on channel 1 at their level: -52 dBm with the board's
  // RSSI offset and LNA gain from its EEPROM.
  const auto beaconLines = sniffer::testing::Tshark(
      pcap,
      "-Y 'wlan.fc.type_subtype == 8' -e wlan.ssid -e radiotap.channel.freq "
      "-e radiotap.dbm_antsignal");
  ASSERT_EQ(beaconLines.size(), static_cast<std::size_t>(beacons));
  for (const std::string& line : beaconLines) {
    std::istringstream fields(line);
    std::string ssid;
    int mhz = 0;
    int dbm = 0;
    fields >> ssid >> mhz >> dbm;
    EXPECT_EQ(ssid, "4b45535452454c2d4c4142");  // "KESTREL-LAB", as tshark prints bytes
    EXPECT_EQ(mhz, 2412);
    EXPECT_NEAR(dbm, -52, 3);
  }

  // The format follows the extension: straight to pcap, with --json.
  const std::string direct = folder.file("direct.pcap");
  const CliRun json =
      RunOn(bench, {"sniff", "--seconds", "1", "--filter-type", "none", "--out", direct, "--json"});
  ASSERT_EQ(json.exitCode, kExitOk) << json.err;
  const std::size_t at = json.out.find("\"packets\":");
  ASSERT_NE(at, std::string::npos) << json.out;
  const auto directPackets =
      sniffer::testing::Tshark(direct, "-e wlan.fc.type_subtype -e radiotap.flags.badfcs");
  EXPECT_EQ(std::to_string(directPackets.size()),
            json.out.substr(at + 10, json.out.find(',', at) - at - 10));
  for (const std::string& packet : directPackets)
    EXPECT_TRUE(!packet.starts_with("0x0008") && packet.ends_with(" 0")) << packet;
}

TEST(SniffCli, APacFileThatIsNotWholePrintsItsWholeRowsThenFails) {
  EmulatedRig bench;
  ScratchFolder folder;
  const Bytes ack = BuildRecord({.frame = Frame(0xD4, {sniffer::testing::kStationA})});
  const Bytes rts =
      BuildRecord({.frame = Frame(0xB4, {sniffer::testing::kStationB, sniffer::testing::kStationA}),
                   .phyMode = 2,
                   .rateIndex = 7,
                   .crcError = true});
  const std::string ackLine = "00001\t02:4B:51:00:00:01\t\t\t6.0\tACK\t\t\t10\n";
  const std::string rtsLine = "00002\t02:11:22:33:44:55\t02:4B:51:00:00:01\t\t65.0\tRTS\t\t\t16\n";
  Bytes cut = PacFile(3, {ack, rts, ack});
  cut.resize(cut.size() - 1);
  struct Case {
    const char* name;
    Bytes file;
    std::string out;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"cut.pac", cut, ackLine + rtsLine,
       "Packet File is cut short: it holds 2 whole of its 3 packets; those were loaded!"},
      {"absent.pac", {}, "", "Packet File not opened!"},
      {"folder.pac", {}, "", "Packet File not opened!"},
  };
  std::filesystem::create_directory(folder.file("folder.pac"));
  for (const Case& c : cases) {
    const std::string path = folder.file(c.name);
    if (!c.file.empty()) sniffer::testing::WriteFile(path, c.file);
    const CliRun decode = RunOn(bench, {"sniff", "decode", path});
    EXPECT_EQ(decode.exitCode, kExitFailed) << c.name;
    EXPECT_EQ(decode.out, c.out) << c.name;
    EXPECT_EQ(decode.err, "kestrelqa-cli: " + c.message + "\n") << c.name;
  }

  const CliRun json = RunOn(bench, {"sniff", "decode", folder.file("cut.pac"), "--json"});
  EXPECT_EQ(json.exitCode, kExitFailed);
  EXPECT_NE(json.out.find("\"ok\":false,\"columns\":[\"No.\",\"Address1\",\"Address2\","
                          "\"Address3\",\"Rate\",\"Protocol\",\"Flag\",\"Rssi\",\"Size\"],"
                          "\"rows\":[[\"00001\",\"02:4B:51:00:00:01\",\"\",\"\",\"6.0\",\"ACK\","
                          "\"\",\"\",\"10\"],[\"00002\""),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"message\":\"Packet File is cut short"), std::string::npos);

  // Converted as far as it is whole: a pcap header and two packets.
  const std::string pcap = folder.file("cut.pcap");
  const CliRun convert = RunOn(bench, {"sniff", "convert", folder.file("cut.pac"), pcap});
  EXPECT_EQ(convert.exitCode, kExitFailed);
  EXPECT_NE(convert.err.find("2 whole of its 3"), std::string::npos) << convert.err;
  const Bytes written = sniffer::testing::ReadFile(pcap);
  ASSERT_GE(written.size(), 24u + 16u);
  const std::size_t firstLength = written[24 + 8];  // captured length of the first packet
  const std::size_t second = 24 + 16 + firstLength;
  ASSERT_GE(written.size(), second + 16);
  EXPECT_EQ(written.size(), second + 16 + written[second + 8]);
}

TEST(SniffCli, ABadLineIsRefusedBeforeAnythingIsCaptured) {
  EmulatedRig bench;
  ScratchFolder folder;
  const std::string pac = folder.file("x.pac");
  sniffer::testing::WriteFile(pac, PacFile(0, {}));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"sniff", "--seconds", "1", "--out", folder.file("x.txt")},
       "--out must end in .pac or .pcap, not \"" + folder.file("x.txt") + "\""},
      {{"sniff", "--seconds", "0", "--out", pac}, "--seconds must be a number of seconds above 0"},
      {{"sniff", "--seconds", "2s", "--out", pac}, "--seconds must be a number of seconds"},
      {{"sniff", "--seconds", "1", "--channel", "15", "--out", pac},
       "--channel must be a 2.4 GHz channel from 1 to 14, not \"15\""},
      {{"sniff", "--seconds", "1", "--filter-mac", "024B51A0001", "--out", pac},
       "\"024B51A0001\" is not 12 hexadecimal digits"},
      {{"sniff", "--seconds", "1", "--filter-type", "beacon,probe", "--out", pac},
       "unknown frame kind \"probe\""},
      {{"sniff", "--seconds", "1", "--out", folder.file("gone/x.pac")},
       "--out the folder of \"" + folder.file("gone/x.pac") + "\" does not exist"},
      {{"sniff", "--out", pac}, "sniff needs --seconds S and --out"},
      {{"sniff", "decode", pac, "--out", folder.file("y.pcap")},
       "sniff decode takes only the .pac file"},
      {{"sniff", "convert", pac, folder.file("y.pac")}, "PCAP must end in .pcap"},
  };
  for (const auto& [arguments, message] : cases) {
    const CliRun run = RunOn(bench, arguments);
    EXPECT_EQ(run.exitCode, kExitUsage) << arguments[2];
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(folder.file("x.txt")));
  EXPECT_FALSE(std::filesystem::exists(folder.file("y.pac")));
  EXPECT_EQ(sniffer::testing::ReadFile(pac), PacFile(0, {})) << "the capture never ran";
}

// The bench's clock, pulling the chip's plug once `at` has passed.
class UnpluggingClock final : public Clock {
 public:
  UnpluggingClock(EmulatedRig& bench, Duration at) : bench_(bench), at_(at) {}
  Duration now() const override { return bench_.clock().now(); }
  void sleep(Duration duration) override {
    bench_.clock().sleep(duration);
    if (!unplugged_ && now() >= at_) {
      bench_.unplug();
      unplugged_ = true;
    }
  }

 private:
  EmulatedRig& bench_;
  Duration at_;
  bool unplugged_ = false;
};

TEST(SniffCli, ADeviceThatGoesMidCaptureFailsTheRunAndKeepsWhatCameBefore) {
  EmulatedRig bench;
  ScratchFolder folder;
  UnpluggingClock clock(bench, bench.clock().now() + std::chrono::milliseconds(1200));
  const std::string pac = folder.file("gone.pac");
  const CliRun run = testing::RunCli(bench.provider(), clock,
                                     {"sniff", "--seconds", "3", "--channel", "1", "--out", pac});
  EXPECT_EQ(run.exitCode, kExitFailed);
  const Bytes file = sniffer::testing::ReadFile(pac);
  ASSERT_GE(file.size(), 4u);
  const std::uint32_t count = file[0] | file[1] << 8 | file[2] << 16 | file[3] << 24;
  EXPECT_GT(count, 10u) << "a second of the lab's air";
  EXPECT_EQ(file.size(), 4 + count * 4096u);
  EXPECT_EQ(run.err, "kestrelqa-cli: device not connected (1167): the capture ended when the "
                     "device went; the " +
                         std::to_string(count) + " packets received before were written to " +
                         pac + "\n");
}

TEST(SniffCli, OnATerminalTheCaptureShowsAProgressLine) {
  EmulatedRig bench;
  ScratchFolder folder;
  const std::vector<std::string> arguments = {
      "kestrelqa-cli", "sniff", "--seconds", "1", "--channel", "1", "--out", folder.file("p.pac")};
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  CommandLine line;
  ASSERT_FALSE(line.parse(static_cast<int>(argv.size()), argv.data(), out, err));
  const int exitCode = line.runOn(bench.provider(), bench.clock(), {"test device", true},
                                  {in, out, err, false, true});
  EXPECT_EQ(exitCode, kExitOk) << err.str();
  EXPECT_NE(err.str().find("\rCapturing: 0.5 of 1.0 s, "), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("\rCapturing: 1.0 of 1.0 s, "), std::string::npos) << err.str();
  EXPECT_TRUE(err.str().ends_with(" CRC errors \n")) << err.str();
}

}  // namespace
}  // namespace kqa::cli
