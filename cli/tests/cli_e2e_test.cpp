// kestrelqa-cli's commands through the in-process driver against the
// emulated Kestrel.
#include <gtest/gtest.h>

#include "app/device/tests/emulated_bench.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedBench;
using testing::CliRun;

CliRun RunOn(EmulatedBench& bench, std::vector<std::string> arguments,
            const std::string& terminal = {}, bool interactive = false) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments), terminal, interactive);
}

TEST(CliEndToEnd, SelftestPassesOnTheEmulatedChipAndSkipsTheFirmwareUntilItRuns) {
  EmulatedBench bench;
  const CliRun first = RunOn(bench, {"selftest"});
  EXPECT_EQ(first.exitCode, kExitOk) << first.out << first.err;
  EXPECT_NE(first.out.find("SKIP  firmware-channel"), std::string::npos);
  EXPECT_TRUE(first.out.ends_with("8 passed, 0 failed\n")) << first.out;

  ASSERT_TRUE(bench.startFirmware());
  const CliRun second = RunOn(bench, {"selftest", "--json"});
  EXPECT_EQ(second.exitCode, kExitOk) << second.out << second.err;
  EXPECT_NE(second.out.find("\"passed\":9,\"failed\":0"), std::string::npos) << second.out;
}

TEST(CliEndToEnd, InfoAndMemoriesOfTheEfuseBoard) {
  EmulatedBench bench({.board = chip::Board::Efuse});
  const CliRun info = RunOn(bench, {"info", "--eeprom-file", "/nonexistent/eeprom.bin"});
  EXPECT_EQ(info.exitCode, kExitOk) << info.err;
  EXPECT_NE(info.out.find("Chip identity:        0x5EC70000"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Configuration memory: eFuse"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("VID 1209, PID 0001"), std::string::npos) << info.out;
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "4", "3"}).out, "004: 02 4B 51\n");
}

TEST(CliEndToEnd, EfuseWritesAskOnATerminalAndAreRefusedWithoutOneUnlessConfirmed) {
  EmulatedBench bench({.board = chip::Board::Efuse, .efuseContent = std::array<std::uint8_t, 512>{}});
  const auto fresh = bench.chip().efuseBytes();
  const CliRun refused = RunOn(bench, {"nvm", "write", "10", "3412"});
  EXPECT_EQ(refused.exitCode, kExitFailed);
  EXPECT_NE(refused.err.find("Free block before write=29, after write=28, are you sure to write?"),
            std::string::npos);
  EXPECT_NE(refused.err.find("pass --yes"), std::string::npos);
  EXPECT_EQ(RunOn(bench, {"nvm", "write", "10", "3412"}, "n\n", true).exitCode, kExitFailed);
  EXPECT_EQ(bench.chip().efuseBytes(), fresh);

  EXPECT_EQ(RunOn(bench, {"nvm", "write", "10", "3412"}, "y\n", true).exitCode, kExitOk);
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "10", "2"}).out, "010: 34 12\n");
  EXPECT_EQ(RunOn(bench, {"efuse", "free"}).out, "28 / 29\n");
  EXPECT_EQ(RunOn(bench, {"nvm", "write", "12", "7856", "--yes"}).exitCode, kExitOk);
  const CliRun dump = RunOn(bench, {"efuse", "dump"});
  EXPECT_NE(dump.out.find("1C0: 34 12 78 56 00"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("1F0: 00 00 00 00 00 00 00 00 00 00 00 00 81 00 00 00\n"), std::string::npos);
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 32);
}

TEST(CliEndToEnd, RegistersReachTheChip) {
  EmulatedBench bench;
  EXPECT_EQ(RunOn(bench, {"bbp", "write", "66", "1C"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekBbpGain(1), 0x1C);  // both paths of the EEPROM board
  EXPECT_EQ(RunOn(bench, {"rf", "write", "5", "35", "20"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRf(5, 35), 0x20);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "0"}).out, "5EC70000\n");
}

}  // namespace
}  // namespace kqa::cli
