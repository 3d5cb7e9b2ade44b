// kestrelqa-cli's commands through the in-process driver against the
// emulated Kestrel.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

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

std::string TempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("kqa-cli-" + std::to_string(::getpid()) + "-" + name)).string();
}

TEST(Cli, SelftestPassesOnTheEmulatedChipAndSkipsTheFirmwareUntilItRuns) {
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

TEST(Cli, InfoAndMemoriesOfTheEfuseBoard) {
  EmulatedBench bench({.board = chip::Board::Efuse});
  const CliRun info = RunOn(bench, {"info", "--eeprom-file", "/nonexistent/eeprom.bin"});
  EXPECT_EQ(info.exitCode, kExitOk) << info.err;
  EXPECT_NE(info.out.find("Chip identity:        0x5EC70000"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Configuration memory: eFuse"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("VID 1209, PID 0001"), std::string::npos) << info.out;
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "4", "3"}).out, "004: 02 4B 51\n");
}

TEST(Cli, EfuseWritesAskOnATerminalAndAreRefusedWithoutOneUnlessConfirmed) {
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

TEST(Cli, RegistersReadAndWriteInTheirFormats) {
  EmulatedBench bench;
  EXPECT_EQ(RunOn(bench, {"reg", "read", "0"}).out, "5EC70000\n");
  EXPECT_EQ(RunOn(bench, {"reg", "write", "0x1314", "C"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRegister(0x1314), 0xCu);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "1314"}).out, "0000000C\n");
  EXPECT_EQ(RunOn(bench, {"reg", "write", "--space", "sys", "20", "1"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRegister(0x20, chip::Space::Sys), 1u);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "--space", "abs", "0", "--json"}).out,
            "{\"space\":\"abs\",\"address\":0,\"value\":0}\n");

  EXPECT_EQ(RunOn(bench, {"bbp", "write", "23", "B5"}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(bench, {"bbp", "read", "23"}).out, "B5\n");
  EXPECT_EQ(RunOn(bench, {"bbp", "write", "66", "1C"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekBbpGain(1), 0x1C);  // both paths of the EEPROM board
  EXPECT_EQ(RunOn(bench, {"rf", "write", "5", "35", "20"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRf(5, 35), 0x20);
  EXPECT_EQ(RunOn(bench, {"rf", "read", "5", "35"}).out, "20\n");
}

TEST(Cli, BadArgumentsExplainThemselvesAndTouchNothing) {
  EmulatedBench bench;
  const CliRun typo = RunOn(bench, {"reg", "write", "1314", "12G4"});
  EXPECT_EQ(typo.exitCode, kExitUsage);
  EXPECT_NE(typo.err.find("VALUE must be hexadecimal"), std::string::npos);
  EXPECT_EQ(RunOn(bench, {"bbp", "write", "256", "1"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"rf", "read", "16", "0"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"bbp", "write", "3", "100"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"nvm", "write", "0", "ABC"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"frobnicate"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "--bogus"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"frobnicate", "--json"}).out.rfind("{\"ok\":false,\"message\":", 0), 0u);
  EXPECT_EQ(bench.chip().peekRegister(0x1314), 0u);
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "0", "2"}).out, "000: C7 5E\n");  // as it came

  // Without a receive path count R66 would be written nowhere.
  ASSERT_EQ(RunOn(bench, {"nvm", "write", "34", "0000"}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(bench, {"bbp", "write", "66", "1C"}).exitCode, kExitFailed);

  bench.unplug();
  const CliRun none = RunOn(bench, {"reg", "read", "0"});
  EXPECT_EQ(none.exitCode, kExitFailed);
  EXPECT_NE(none.err.find("no device"), std::string::npos);
}

TEST(Cli, NvmReadsPrintSixteenBytesALine) {
  EmulatedBench bench;
  ASSERT_EQ(RunOn(bench, {"nvm", "write", "0x8", "08090A0B0C0D0E0F101112131415161718191A1B"}).exitCode,
            kExitOk);
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "0x8", "20"}).out,
            "008: 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17\n"
            "018: 18 19 1A 1B\n");
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "8", "2", "--json"}).out,
            "{\"backEnd\":\"EEPROM\",\"offset\":8,\"count\":2,\"data\":\"0809\"}\n");
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "3FF", "2"}).exitCode, kExitUsage);
}

TEST(Cli, TheBufferBackEndKeepsItsWritesInTheImageFile) {
  EmulatedBench bench;
  const std::string file = TempFile("image.bin");
  EXPECT_EQ(RunOn(bench, {"--nvm", "buffer", "--eeprom-file", file, "nvm", "read", "0", "2"}).exitCode,
            kExitFailed);  // no image file yet
  std::ofstream(file, std::ios::binary) << std::string(512, '\0');
  EXPECT_EQ(RunOn(bench, {"--nvm", "buffer", "--eeprom-file", file, "nvm", "write", "4", "AABB"}).exitCode,
            kExitOk);
  EXPECT_EQ(RunOn(bench, {"--nvm", "buffer", "--eeprom-file", file, "nvm", "read", "4", "2"}).out,
            "004: AA BB\n");
  EXPECT_EQ(std::filesystem::file_size(file), 512u);
  EXPECT_NE(RunOn(bench, {"nvm", "read", "4", "2"}).out, "004: AA BB\n");  // not the chip's
  std::filesystem::remove(file);
}

TEST(Cli, IoctlSendsOneRawCodeAndScriptsPrintTheirLog) {
  EmulatedBench bench;
  ASSERT_EQ(RunOn(bench, {"reg", "write", "1314", "11223344"}).exitCode, kExitOk);
  const CliRun read = RunOn(bench, {"ioctl", "223480", "14130000", "--out", "4"});
  EXPECT_EQ(read.exitCode, kExitOk);
  EXPECT_EQ(read.out, "error=0 bytes=4\n000: 44 33 22 11\n");
  const CliRun unknown = RunOn(bench, {"ioctl", "222000"});
  EXPECT_EQ(unknown.exitCode, kExitFailed);
  EXPECT_EQ(unknown.out, "error=1 bytes=0\n");

  const std::string file = TempFile("script.txt");
  std::ofstream(file) << "BBP 1 23 B5\nWAIT 100\nMAC 0 1314\n";
  const CliRun run = RunOn(bench, {"script", "run", file});
  EXPECT_EQ(run.exitCode, kExitOk);
  EXPECT_EQ(run.out, "W:\tBBP 23\t= 0xB5\nWait:\t100(ms)\nR:\tMAC 0x1314\t= 0x11223344\n");

  std::ofstream(file) << "1 5 35 2G\n";
  const CliRun bad = RunOn(bench, {"script", "run", "--dialect", "rf", file, "--json"});
  EXPECT_EQ(bad.exitCode, kExitFailed);
  EXPECT_EQ(bad.out,
            "{\"ok\":false,\"entries\":[\"Error:\\tline 1 skipped: \\\"2G\\\" is not a valid "
            "hexadecimal number\"]}\n");
  std::filesystem::remove(file);
  EXPECT_EQ(RunOn(bench, {"script", "run", file}).exitCode, kExitFailed);
}

}  // namespace
}  // namespace kqa::cli
