#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "app/device/tests/fake_device.h"
#include "cli/tests/cli_harness.h"
#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

using testing::CliRun;

class Cli : public ::testing::Test {
 protected:
  CliRun Run(std::vector<std::string> arguments, const std::string& terminal = {},
             bool interactive = false) {
    return testing::RunCli(chip, clock, std::move(arguments), terminal, interactive);
  }

  device::testing::FakeDevice chip;
  VirtualClock clock;
};

TEST_F(Cli, RegistersReadAndWriteInTheirFormats) {
  EXPECT_EQ(Run({"reg", "write", "0x1004", "C"}).exitCode, kExitOk);
  EXPECT_EQ(chip.mac[0x1004], 0xCu);
  const CliRun read = Run({"reg", "read", "1004"});
  EXPECT_EQ(read.out, "0000000C\n");
  EXPECT_EQ(Run({"reg", "write", "--space", "sys", "20", "1"}).exitCode, kExitOk);
  EXPECT_EQ(chip.sys[0x20], 1u);
  EXPECT_EQ(Run({"reg", "read", "--space", "abs", "0", "--json"}).out,
            "{\"space\":\"abs\",\"address\":0,\"value\":0}\n");

  EXPECT_EQ(Run({"bbp", "write", "23", "B5"}).exitCode, kExitOk);
  EXPECT_EQ(Run({"bbp", "read", "23"}).out, "B5\n");
  EXPECT_EQ(Run({"rf", "write", "5", "35", "20"}).exitCode, kExitOk);
  EXPECT_EQ(chip.rf[5][35], 0x20);
  EXPECT_EQ(Run({"rf", "read", "5", "35"}).out, "20\n");
}

TEST_F(Cli, BadArgumentsExplainThemselvesAndTouchNothing) {
  chip.clearCalls();
  const CliRun typo = Run({"reg", "write", "1004", "12G4"});
  EXPECT_EQ(typo.exitCode, kExitUsage);
  EXPECT_NE(typo.err.find("VALUE must be hexadecimal"), std::string::npos);
  EXPECT_EQ(Run({"bbp", "write", "256", "1"}).exitCode, kExitUsage);
  EXPECT_EQ(Run({"rf", "read", "16", "0"}).exitCode, kExitUsage);
  EXPECT_EQ(Run({"bbp", "write", "3", "100"}).exitCode, kExitUsage);
  // Without a receive path count R66 would be written nowhere.
  EXPECT_EQ(Run({"bbp", "write", "66", "1C"}).exitCode, kExitFailed);
  EXPECT_EQ(Run({"nvm", "write", "0", "ABC"}).exitCode, kExitUsage);
  EXPECT_EQ(Run({"frobnicate"}).exitCode, kExitUsage);
  EXPECT_EQ(Run({"reg", "read", "--bogus"}).exitCode, kExitUsage);
  for (const auto& call : chip.calls()) {
    EXPECT_NE(call.code, ioctl::VQ_OID_USB_VENDOR_MAC_WRITE);
    EXPECT_NE(call.code, ioctl::VQ_OID_USB_VENDOR_EEPROM_WRITE);
  }
  EXPECT_EQ(Run({"frobnicate", "--json"}).out.rfind("{\"ok\":false,\"message\":", 0), 0u);

  chip.present = false;
  const CliRun none = Run({"reg", "read", "0"});
  EXPECT_EQ(none.exitCode, kExitFailed);
  EXPECT_NE(none.err.find("no device"), std::string::npos);
}

TEST_F(Cli, NvmReadsPrintSixteenBytesALine) {
  for (std::size_t i = 0; i < 64; ++i) chip.eeprom[i] = static_cast<std::uint8_t>(i);
  const CliRun read = Run({"nvm", "read", "0x8", "20"});
  EXPECT_EQ(read.out,
            "008: 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17\n"
            "018: 18 19 1A 1B\n");
  EXPECT_EQ(Run({"nvm", "write", "4", "001122334455"}).exitCode, kExitOk);
  EXPECT_EQ(chip.eeprom[9], 0x55);
  EXPECT_EQ(Run({"nvm", "read", "4", "2", "--json"}).out,
            "{\"backEnd\":\"EEPROM\",\"offset\":4,\"count\":2,\"data\":\"0011\"}\n");
  EXPECT_EQ(Run({"nvm", "read", "3FF", "2"}).exitCode, kExitUsage);
}

TEST_F(Cli, TheBufferBackEndKeepsItsWritesInTheImageFile) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("kqa-cli-image-" + std::to_string(::getpid()) + ".bin")).string();
  EXPECT_EQ(Run({"--nvm", "buffer", "--eeprom-file", file, "nvm", "read", "0", "2"}).exitCode,
            kExitFailed);  // no image file yet
  std::ofstream(file, std::ios::binary) << std::string(512, '\0');
  EXPECT_EQ(Run({"--nvm", "buffer", "--eeprom-file", file, "nvm", "write", "4", "AABB"}).exitCode, kExitOk);
  EXPECT_EQ(Run({"--nvm", "buffer", "--eeprom-file", file, "nvm", "read", "4", "2"}).out, "004: AA BB\n");
  EXPECT_EQ(std::filesystem::file_size(file), 512u);
  std::filesystem::remove(file);
}

TEST_F(Cli, IoctlSendsOneRawCodeAndReportsWhatCameBack) {
  chip.mac[0x1004] = 0x11223344;
  const CliRun read = Run({"ioctl", "223480", "04100000", "--out", "4"});
  EXPECT_EQ(read.exitCode, kExitOk);
  EXPECT_EQ(read.out, "error=0 bytes=4\n000: 44 33 22 11\n");
  const CliRun unknown = Run({"ioctl", "222000"});
  EXPECT_EQ(unknown.exitCode, kExitFailed);
  EXPECT_EQ(unknown.out, "error=1 bytes=0\n");
}

TEST_F(Cli, ScriptsPrintTheirLogAndFailOnErrors) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("kqa-cli-script-" + std::to_string(::getpid()) + ".txt")).string();
  std::ofstream(file) << "BBP 1 23 B5\nWAIT 100\nMAC 0 1314\n";
  const CliRun run = Run({"script", "run", file});
  EXPECT_EQ(run.exitCode, kExitOk);
  EXPECT_EQ(run.out, "W:\tBBP 23\t= 0xB5\nWait:\t100(ms)\nR:\tMAC 0x1314\t= 0x00000000\n");

  std::ofstream(file) << "1 5 35 2G\n";
  const CliRun bad = Run({"script", "run", "--dialect", "rf", file, "--json"});
  EXPECT_EQ(bad.exitCode, kExitFailed);
  EXPECT_EQ(bad.out,
            "{\"ok\":false,\"entries\":[\"Error:\\tline 1 skipped: \\\"2G\\\" is not a valid "
            "hexadecimal number\"]}\n");
  std::filesystem::remove(file);
  EXPECT_EQ(Run({"script", "run", file}).exitCode, kExitFailed);
}

}  // namespace
}  // namespace kqa::cli
