// kestrelqa-cli's commands through the in-process driver against the
// emulated Kestrel.
#include <gtest/gtest.h>

#include "app/device/tests/emulated_bench.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedBench;
using testing::CliRun;

CliRun RunOn(EmulatedBench& bench, std::vector<std::string> arguments) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments));
}

TEST(CliEndToEnd, SelftestPassesOnTheEmulatedChipAndSkipsTheFirmwareUntilItRuns) {
  EmulatedBench bench;
  const CliRun first = RunOn(bench, {"selftest"});
  EXPECT_EQ(first.exitCode, kExitOk) << first.out << first.err;
  EXPECT_NE(first.out.find("SKIP  firmware-channel"), std::string::npos);
  EXPECT_TRUE(first.out.ends_with("8 passed, 0 failed\n")) << first.out;

  bench.answerFirmwareCommands();
  bench.chip().pokeRegister(0x230, 1, chip::Space::Sys);  // the MCU runs
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
  const CliRun free = RunOn(bench, {"efuse", "free"});
  EXPECT_EQ(free.exitCode, kExitOk);
  EXPECT_TRUE(free.out.ends_with(" / 29\n")) << free.out;
  EXPECT_EQ(RunOn(bench, {"nvm", "write", "40", "0100", "--yes"}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "40", "2"}).out, "040: 01 00\n");
}

TEST(CliEndToEnd, RegistersAndScriptsReachTheChip) {
  EmulatedBench bench;
  EXPECT_EQ(RunOn(bench, {"bbp", "write", "66", "1C"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekBbpGain(1), 0x1C);  // both paths of the EEPROM board
  EXPECT_EQ(RunOn(bench, {"rf", "write", "5", "35", "20"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRf(5, 35), 0x20);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "0"}).out, "5EC70000\n");
  const CliRun raw = RunOn(bench, {"ioctl", "0x223480", "00000000", "--out", "4"});
  EXPECT_EQ(raw.out, "error=0 bytes=4\n000: 00 00 C7 5E\n");
}

}  // namespace
}  // namespace kqa::cli
