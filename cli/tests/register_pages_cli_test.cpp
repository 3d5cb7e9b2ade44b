// kestrelqa-cli's BBP and RF page commands against the emulated Kestrel.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "app/device/tests/emulated_rig.h"
#include "app/device/text_format.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::Format;
using device::testing::EmulatedRig;
using testing::CliRun;

CliRun RunOn(EmulatedRig& bench, std::vector<std::string> arguments) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments));
}

class RegisterPageCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("kqa-cli-pages-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string file(const std::string& name) const { return (folder_ / name).string(); }
  static std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  EmulatedRig bench;
  std::filesystem::path folder_;
};

TEST_F(RegisterPageCommands, ASavedBbpSetReloadsToTheSameRegisters) {
  ASSERT_EQ(RunOn(bench, {"bbp", "write", "100", "6C"}).exitCode, kExitOk);
  ASSERT_EQ(RunOn(bench, {"bbp", "write", "249", "A1"}).exitCode, kExitOk);
  const CliRun save = RunOn(bench, {"bbp", "save", file("set.txt")});
  ASSERT_EQ(save.exitCode, kExitOk) << save.err;
  const std::vector<std::string> lines = Lines(file("set.txt"));
  ASSERT_EQ(lines.size(), 354u);
  EXPECT_EQ(lines[100], "100 = 6C");
  EXPECT_EQ(lines[256], "195 = 00");

  ASSERT_EQ(RunOn(bench, {"bbp", "write", "100", "00"}).exitCode, kExitOk);
  ASSERT_EQ(RunOn(bench, {"bbp", "write", "249", "00"}).exitCode, kExitOk);
  const CliRun load = RunOn(bench, {"bbp", "load", file("set.txt")});
  EXPECT_EQ(load.exitCode, kExitOk) << load.err;
  EXPECT_EQ(load.out, "Wrote 354 BBP register(s) from " + file("set.txt") + "\n");
  EXPECT_EQ(bench.chip().peekBbp(100), 0x6C);
  EXPECT_EQ(bench.chip().peekBbp(249), 0xA1);

  const CliRun page3 = RunOn(bench, {"bbp", "dump", "--page", "3"});
  EXPECT_EQ(std::count(page3.out.begin(), page3.out.end(), '\n'), 66);
  EXPECT_TRUE(page3.out.starts_with("R137 ")) << page3.out.substr(0, 20);
  EXPECT_NE(page3.out.find("\nR249 A1\nR250 "), std::string::npos);
  EXPECT_TRUE(RunOn(bench, {"bbp", "dump", "--json"})
                  .out.starts_with("{\"page\":1,\"registers\":[{\"register\":0,\"value\":"));
  EXPECT_EQ(RunOn(bench, {"bbp", "dump", "--page", "4"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"bbp", "load", file("missing.txt")}).exitCode, kExitFailed);
  // A file that wrote nothing is refused; one with skipped lines wrote only
  // part of itself and fails, with both counts in its JSON.
  const struct {
    const char* name;
    const char* text;
    int exitCode;
    const char* json;
  } partial[] = {
      {"empty.txt", "", kExitUsage, "\"written\":0,\"skipped\":0"},
      {"junk.txt", "R1 = 2\nhello\n", kExitUsage, "\"written\":0,\"skipped\":2"},
      {"typo.txt", "100 = 11\n101 = 1G\n102 = 33\n", kExitFailed, "\"written\":2,\"skipped\":1"},
  };
  for (const auto& p : partial) {
    std::ofstream(file(p.name)) << p.text;
    const CliRun partLoad = RunOn(bench, {"bbp", "load", file(p.name), "--json"});
    EXPECT_EQ(partLoad.exitCode, p.exitCode) << p.name;
    EXPECT_TRUE(partLoad.out.starts_with("{\"ok\":false,")) << partLoad.out;
    EXPECT_NE(partLoad.out.find(p.json), std::string::npos) << partLoad.out;
  }
  EXPECT_EQ(bench.chip().peekBbp(102), 0x33);
  const CliRun typo = RunOn(bench, {"bbp", "load", file("typo.txt")});
  EXPECT_EQ(typo.out, "Wrote 2 BBP register(s) from " + file("typo.txt") + "\n");
  EXPECT_NE(typo.err.find("1 line(s) of " + file("typo.txt") + " were skipped"), std::string::npos) << typo.err;
  // A folder, and a file far larger than any register set, are not read.
  const CliRun folder = RunOn(bench, {"bbp", "load", folder_.string()});
  EXPECT_EQ(folder.exitCode, kExitFailed);
  EXPECT_NE(folder.err.find("could not be read (it is a folder)"), std::string::npos) << folder.err;
  std::ofstream(file("huge.txt")) << std::string((1 << 20) + 1, '\n');
  const CliRun huge = RunOn(bench, {"bbp", "papd-write", file("huge.txt")});
  EXPECT_EQ(huge.exitCode, kExitFailed);
  EXPECT_NE(huge.err.find("larger than 1048576 bytes"), std::string::npos) << huge.err;
}

TEST_F(RegisterPageCommands, TheTablesDumpWholeAndAPapdWriteOf300LinesWraps) {
  ASSERT_EQ(RunOn(bench, {"bbp", "write", "4", "02"}).exitCode, kExitOk);
  {
    std::ofstream papd(file("papd.txt"));
    for (int i = 0; i < 300; ++i) papd << Format("0x%02X\n", i % 200);
  }
  const CliRun write = RunOn(bench, {"bbp", "papd-write", file("papd.txt")});
  EXPECT_EQ(write.exitCode, kExitOk) << write.err;
  EXPECT_EQ(write.out,
            "Wrote 300 value(s) to the PAPD table (the index wrapped after 255: entries 0-43 "
            "were written twice)\n");
  const auto papd = bench.chip().withRadio([](chip::RadioSide& r) { return r.bbpTables().papd(); });
  EXPECT_EQ(papd[0], 56) << "line 256 holds 256 % 200";
  EXPECT_EQ(papd[43], 99) << "line 299";
  EXPECT_EQ(papd[44], 44) << "line 44, not overwritten";
  EXPECT_EQ(bench.chip().peekBbp(4), 0x02) << "R4 put back";

  ASSERT_EQ(RunOn(bench, {"bbp", "table", "papd", file("dump.txt")}).exitCode, kExitOk);
  const std::vector<std::string> dumped = Lines(file("dump.txt"));
  ASSERT_EQ(dumped.size(), 256u);
  EXPECT_EQ(dumped[0], "0x38");
  EXPECT_EQ(dumped[255], "0x37");  // line 255: 255 % 200 = 55
  ASSERT_EQ(RunOn(bench, {"bbp", "table", "195", file("195.txt")}).exitCode, kExitOk);
  EXPECT_EQ(Lines(file("195.txt"))[1], "0x0A");
  EXPECT_EQ(RunOn(bench, {"bbp", "table", "186", file("x.txt")}).exitCode, kExitUsage);

  std::ofstream(file("bad.txt")) << "0x10\nten\n";
  const CliRun bad = RunOn(bench, {"bbp", "papd-write", file("bad.txt"), "--json"});
  EXPECT_EQ(bad.exitCode, kExitUsage);
  EXPECT_NE(bad.err.find("Line 2: \"ten\" is not a hexadecimal number."), std::string::npos);
  EXPECT_TRUE(bad.out.starts_with("{\"ok\":false,")) << bad.out;
}

TEST_F(RegisterPageCommands, ASavedRfFileReloadsAndTheLoadCalibratesTheVco) {
  ASSERT_EQ(RunOn(bench, {"rf", "write", "0", "0", "5C"}).exitCode, kExitOk);
  ASSERT_EQ(RunOn(bench, {"rf", "write", "4", "17", "3C"}).exitCode, kExitOk);
  ASSERT_EQ(RunOn(bench, {"rf", "save", file("rf.txt")}).exitCode, kExitOk);
  const std::vector<std::string> lines = Lines(file("rf.txt"));
  ASSERT_EQ(lines.size(), 192u);
  EXPECT_EQ(lines[0], "0 000 5C");
  EXPECT_EQ(lines[64 + 17], "4 017 3C");
  EXPECT_EQ(lines[191].substr(0, 6), "5 063 ");

  ASSERT_EQ(RunOn(bench, {"rf", "write", "4", "17", "00"}).exitCode, kExitOk);
  const auto calibrations = [&] {
    return bench.chip().withRadio([](chip::RadioSide& r) { return r.sensors().vcoCalibrations(); });
  };
  const auto before = calibrations();
  const CliRun load = RunOn(bench, {"rf", "load", file("rf.txt")});
  EXPECT_EQ(load.exitCode, kExitOk) << load.err;
  EXPECT_EQ(load.out, "Wrote 192 RF register(s) from " + file("rf.txt") + "\n");
  EXPECT_EQ(bench.chip().peekRf(4, 17), 0x3C);
  EXPECT_EQ(calibrations(), before + 1) << "bank 0 R4 was written with bit 7 set";

  const CliRun dump = RunOn(bench, {"rf", "dump", "--bank", "4", "--page", "1"});
  EXPECT_NE(dump.out.find("\nR17 3C\n"), std::string::npos);
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 32);
  EXPECT_TRUE(RunOn(bench, {"rf", "dump", "--bank", "4", "--page", "2"}).out.starts_with("R32 "));
  EXPECT_EQ(RunOn(bench, {"rf", "dump"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"rf", "dump", "--bank", "16"}).exitCode, kExitUsage);
  std::ofstream(file("rf-empty.txt")) << "\n";
  EXPECT_EQ(RunOn(bench, {"rf", "load", file("rf-empty.txt")}).exitCode, kExitUsage);
  std::ofstream(file("rf-typo.txt")) << "4 017 3D\n4 O18 00\n";
  const CliRun typo = RunOn(bench, {"rf", "load", file("rf-typo.txt"), "--json"});
  EXPECT_EQ(typo.exitCode, kExitFailed);
  EXPECT_NE(typo.out.find("\"written\":1,\"skipped\":1"), std::string::npos) << typo.out;
  EXPECT_EQ(bench.chip().peekRf(4, 17), 0x3D);
}

TEST_F(RegisterPageCommands, BitsChannelsTxPowerAndFrequencyOffset) {
  EXPECT_EQ(RunOn(bench, {"rf", "bit", "5", "40", "3", "1"}).out, "R40 08\n");
  EXPECT_EQ(RunOn(bench, {"rf", "bit", "5", "40", "6", "1"}).out, "R40 48\n");
  EXPECT_TRUE(RunOn(bench, {"rf", "bit", "5", "40", "3", "0", "--json"})
                  .out.starts_with(
                      "{\"bank\":5,\"register\":40,\"bit\":3,\"set\":false,\"value\":64,"));
  EXPECT_EQ(bench.chip().peekRf(5, 40), 0x40);
  EXPECT_EQ(RunOn(bench, {"rf", "bit", "5", "40", "8", "1"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"rf", "bit", "5", "40", "3", "2"}).exitCode, kExitUsage);

  EXPECT_EQ(RunOn(bench, {"rf", "channel", "14"}).out,
            "channel 14 VCO 3312.000 N 82 K 0 D 0 Ksd 0x33333\n");
  const CliRun table = RunOn(bench, {"rf", "channel"});
  EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 14);
  EXPECT_TRUE(table.out.starts_with("channel 1 VCO 3216.000 N 80 K 0 D 0 Ksd 0x19999\n"));
  EXPECT_EQ(RunOn(bench, {"rf", "channel", "15"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"rf", "channel", "0"}).exitCode, kExitUsage);

  // TX power 0 is MAC 0x13B0 bits 0-5; the other bits stay.
  bench.chip().pokeRegister(0x13B0, 0x00001510);
  EXPECT_TRUE(RunOn(bench, {"txpower"}).out.starts_with("TX power 0: 10\n"));
  EXPECT_EQ(RunOn(bench, {"txpower", "0", "3F"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRegister(0x13B0), 0x0000153Fu);
  // TX power 1 lives in no register: setting it says so, shown or in JSON.
  EXPECT_EQ(RunOn(bench, {"txpower", "1", "20"}).out,
            "TX power 0: 3F\nTX power 1: 20 (kept by the program, not by the chip)\n");
  EXPECT_NE(RunOn(bench, {"txpower", "1", "20", "--json"}).out.find("\"txPower1\":32,\"txPower1KeptByChip\":false"),
            std::string::npos);
  EXPECT_EQ(RunOn(bench, {"cal", "txpower", "1", "20"}).out,
            "TX1 power 20 on channel 1 set (kept by the program, not by the chip)\n");
  const CliRun high = RunOn(bench, {"txpower", "0", "40"});
  EXPECT_EQ(high.exitCode, kExitUsage);
  EXPECT_NE(high.err.find("VALUE must be 00 to 3F, not \"40\""), std::string::npos) << high.err;
  EXPECT_EQ(RunOn(bench, {"txpower", "2", "10"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"txpower", "0"}).exitCode, kExitUsage);
  EXPECT_EQ(bench.chip().peekRegister(0x13B0), 0x0000153Fu);

  EXPECT_EQ(RunOn(bench, {"freq-offset", "25"}).out, "Frequency offset: 025\n");
  EXPECT_EQ(bench.chip().peekRf(0, 12), 0x25);
  EXPECT_TRUE(
      RunOn(bench, {"freq-offset", "--json"}).out.starts_with("{\"frequencyOffset\":37,"));
  EXPECT_EQ(RunOn(bench, {"freq-offset", "100"}).exitCode, kExitUsage);
  EXPECT_EQ(bench.chip().peekRf(0, 12), 0x25);
}

}  // namespace
}  // namespace kqa::cli
