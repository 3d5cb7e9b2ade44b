// kestrelqa-cli's commands through the in-process driver against the
// emulated Kestrel.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "app/device/tests/emulated_rig.h"
#include "app/device/text_format.h"
#include "cli/tests/cli_harness.h"
#include "platform/ioctl/device_interface.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedRig;
using testing::CliRun;

CliRun RunOn(EmulatedRig& bench, std::vector<std::string> arguments,
             const std::string& terminal = {}, bool interactive = false) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments), terminal, interactive);
}

std::string TempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("kqa-cli-" + std::to_string(::getpid()) + "-" + name)).string();
}

TEST(Cli, SelftestPassesOnTheEmulatedChipAndSkipsTheFirmwareUntilItRuns) {
  EmulatedRig bench;
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
  EmulatedRig bench({.board = chip::Board::Efuse});
  const CliRun info = RunOn(bench, {"info", "--eeprom-file", "/nonexistent/eeprom.bin"});
  EXPECT_EQ(info.exitCode, kExitOk) << info.err;
  EXPECT_NE(info.out.find("Chip identity:        0x5EC70000"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Configuration memory: eFuse"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("VID 1209, PID 0001"), std::string::npos) << info.out;
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "4", "3"}).out, "004: 02 4B 51\n");
}

TEST(Cli, EfuseWritesAskOnATerminalAndAreRefusedWithoutOneUnlessConfirmed) {
  EmulatedRig bench({.board = chip::Board::Efuse, .efuseContent = std::array<std::uint8_t, 512>{}});
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
  EmulatedRig bench;
  EXPECT_EQ(RunOn(bench, {"reg", "read", "0"}).out, "5EC70000\n");
  EXPECT_EQ(RunOn(bench, {"reg", "write", "0x1314", "C"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRegister(0x1314), 0xCu);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "1314"}).out, "0000000C\n");
  EXPECT_EQ(RunOn(bench, {"reg", "write", "--space", "sys", "20", "1"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRegister(0x20, chip::Space::Sys), 1u);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "--space", "abs", "0", "--json"}).out,
            "{\"space\":\"abs\",\"address\":0,\"value\":0,\"device\":\"test device\",\"emulated\":true}\n");

  EXPECT_EQ(RunOn(bench, {"bbp", "write", "23", "B5"}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(bench, {"bbp", "read", "23"}).out, "B5\n");
  EXPECT_EQ(RunOn(bench, {"bbp", "write", "66", "1C"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekBbpGain(1), 0x1C);  // both paths of the EEPROM board
  EXPECT_EQ(RunOn(bench, {"rf", "write", "5", "35", "20"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().peekRf(5, 35), 0x20);
  EXPECT_EQ(RunOn(bench, {"rf", "read", "5", "35"}).out, "20\n");
}

TEST(Cli, BadArgumentsExplainThemselvesAndTouchNothing) {
  EmulatedRig bench;
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
  EmulatedRig bench;
  ASSERT_EQ(RunOn(bench, {"nvm", "write", "0x8", "08090A0B0C0D0E0F101112131415161718191A1B"}).exitCode,
            kExitOk);
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "0x8", "20"}).out,
            "008: 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17\n"
            "018: 18 19 1A 1B\n");
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "8", "2", "--json"}).out,
            "{\"backEnd\":\"EEPROM\",\"offset\":8,\"count\":2,\"data\":\"0809\",\"device\":\"test device\","
            "\"emulated\":true}\n");
  EXPECT_EQ(RunOn(bench, {"nvm", "read", "3FF", "2"}).exitCode, kExitUsage);
}

TEST(Cli, TheBufferBackEndKeepsItsWritesInTheImageFile) {
  EmulatedRig bench;
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
  EmulatedRig bench;
  ASSERT_EQ(RunOn(bench, {"reg", "write", "1314", "11223344"}).exitCode, kExitOk);
  const CliRun read = RunOn(bench, {"ioctl", "223480", "14130000", "--out", "4"});
  EXPECT_EQ(read.exitCode, kExitOk);
  EXPECT_EQ(read.out, "code 0x223480 VQ_OID_USB_VENDOR_MAC_READ: error=0 (ERROR_SUCCESS) bytes=4\n"
                      "000: 44 33 22 11\n");
  const CliRun unknown = RunOn(bench, {"ioctl", "222000"});
  EXPECT_EQ(unknown.exitCode, kExitFailed);
  EXPECT_EQ(unknown.out,
            "code 0x222000 (not a code the driver serves): error=1 (ERROR_INVALID_FUNCTION) bytes=0\n");

  const std::string file = TempFile("script.txt");
  std::ofstream(file) << "BBP 1 23 B5\nWAIT 100\nMAC 0 1314\n";
  const CliRun run = RunOn(bench, {"script", "run", file});
  EXPECT_EQ(run.exitCode, kExitOk);
  EXPECT_EQ(run.out, "W:\tBBP 23\t= 0xB5\nWait:\t100(ms)\nR:\tMAC 0x1314\t= 0x11223344\n"
                     "Script ended: 3 commands run, 0 lines failed, 0 lines skipped, 0 lines matched no keyword\n");

  std::ofstream(file) << "1 5 35 2G\n";
  const CliRun bad = RunOn(bench, {"script", "run", "--dialect", "rf", file, "--json"});
  EXPECT_EQ(bad.exitCode, kExitFailed);
  EXPECT_EQ(bad.out,
            "{\"ok\":false,\"entries\":[\"Error:\\tline 1 skipped: \\\"2G\\\" is not a valid "
            "hexadecimal number\"],\"commands\":0,\"failed\":0,\"skipped\":1,\"unmatched\":0,"
            "\"stoppedAtLine\":0,\"device\":\"test device\",\"emulated\":true}\n");
  std::filesystem::remove(file);
  EXPECT_EQ(RunOn(bench, {"script", "run", file}).exitCode, kExitFailed);
}

// Findings 1 and 2: a write is planned whole, the question shows what it
// costs, and a write the free blocks cannot hold burns nothing.
TEST(Cli, EfuseWritesBurnAllOrNothingAndTheQuestionShowsTheExactCost) {
  EmulatedRig bench({.board = chip::Board::Efuse});  // the factory eFuse: 21 blocks free
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    const std::string offset = device::Format("%X", 0x50 + 16 * i);
    const std::string data = device::Format("%02X11223344556677", i + 1);
    const CliRun write = RunOn(bench, {"nvm", "write", offset, data, "--yes"});
    ASSERT_EQ(write.exitCode, kExitOk) << write.err;
    EXPECT_NE(write.err.find(device::Format("Free block before write=%d, after write=%d, are you sure to "
                                            "write? [confirmed by --yes]", 21 - i, 20 - i)),
              std::string::npos)
        << write.err;
    EXPECT_EQ(write.out, "Wrote 8 bytes at 0x" + device::Format("%03X", 0x50 + 16 * i) + " (eFuse)\n");
    EXPECT_EQ(RunOn(bench, {"efuse", "free"}).out, device::Format("%d / 29\n", 20 - i));
    EXPECT_EQ(RunOn(bench, {"nvm", "read", offset, "8"}).out.substr(4), " " + data.substr(0, 2) +
                                                                            " 11 22 33 44 55 66 77\n");
  }

  // Twelve new blocks with eleven free: refused before the first bit.
  const auto burnt = bench.chip().efuseBytes();
  const std::string twelveBlocks(2 * 16 * 12, 'A');
  const CliRun refused = RunOn(bench, {"nvm", "write", "100", twelveBlocks, "--yes", "--json"});
  EXPECT_EQ(refused.exitCode, kExitFailed);
  EXPECT_NE(refused.err.find("eFuse write refused: it needs 12 new blocks and only 11 are free; "
                             "nothing was burnt!"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.err.find("are you sure"), std::string::npos) << "nothing to confirm";
  EXPECT_NE(refused.out.find("\"shown\":[\"eFuse write refused: it needs 12 new blocks"), std::string::npos)
      << refused.out;
  EXPECT_EQ(bench.chip().efuseBytes(), burnt);

  // Plans, without a burn: which blocks, where, and the count after.
  EXPECT_EQ(RunOn(bench, {"nvm", "write", "--dry-run", "1F0", "0102030405060708"}).out,
            "eFuse write of 8 bytes at 0x1F0:\n"
            "  logical block 31 (0x1F0-0x1FF): new in physical block 10 (map byte 0x5F at 0x1EA)\n"
            "    burns 0x0A0-0x0A7: 01 02 03 04 05 06 07 08\n"
            "Free blocks: 11 before, 10 after.\n"
            "Nothing was burnt (a plan only).\n");
  EXPECT_EQ(RunOn(bench, {"efuse", "plan", "50", "FF"}).out,
            "eFuse write of 1 byte at 0x050:\n"
            "  logical block 5 (0x050-0x05F): programmed in place in physical block 20\n"
            "    burns 0x140: FF\n"
            "Free blocks: 11 before, 11 after.\n"
            "Nothing was burnt (a plan only).\n");
  EXPECT_EQ(RunOn(bench, {"efuse", "plan", "58", "00"}).out,
            "eFuse write of 1 byte at 0x058:\n"
            "  logical block 5 (0x050-0x05F): moves from physical block 20 to 10 (map byte 0x45 at "
            "0x1EA; 0x1F4 invalidated)\n"
            "    burns 0x0A0-0x0A7: 01 11 22 33 44 55 66 77\n"
            "    burns 0x0A9-0x0AF: 10 10 0F 0F 0E 0E 0C\n"
            "Free blocks: 11 before, 10 after.\n"
            "Nothing was burnt (a plan only).\n");
  const CliRun tooBig = RunOn(bench, {"efuse", "plan", "100", twelveBlocks});
  EXPECT_EQ(tooBig.exitCode, kExitFailed);
  EXPECT_NE(tooBig.out.find("Refused: it needs 12 new blocks and only 11 are free; nothing would be burnt.\n"),
            std::string::npos)
      << tooBig.out;
  EXPECT_EQ(bench.chip().efuseBytes(), burnt);
}

// The image is what its file holds; only the written bytes change.
TEST(Cli, TheBufferBackEndNeverCutsOrPadsItsFile) {
  EmulatedRig bench;
  const std::string file = TempFile("buffer.bin");
  const auto write = [&](std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 3);
    std::ofstream(file, std::ios::binary) << bytes;
    return bytes;
  };
  for (const auto& [size, words] : {std::pair<std::size_t, const char*>{2048, "holds more than 1024 bytes"},
                                    {10, "holds 10 bytes"}}) {
    const std::string before = write(size);
    const CliRun refused = RunOn(bench, {"--nvm", "buffer", "--eeprom-file", file, "nvm", "write", "0", "AA"});
    EXPECT_EQ(refused.exitCode, kExitFailed);
    EXPECT_NE(refused.err.find("the buffer back end cannot use its image: the EEPROM image file " + file + " " +
                               words + "; an image holds 512 to 1024 bytes"),
              std::string::npos)
        << refused.err;
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
  }

  std::string expected = write(600);
  const CliRun written = RunOn(bench, {"--nvm", "buffer", "--eeprom-file", file, "nvm", "write", "250", "C3"});
  EXPECT_EQ(written.exitCode, kExitOk) << written.err;
  EXPECT_EQ(written.out, "Wrote 1 byte at 0x250 (buffer)\n");
  expected[0x250] = static_cast<char>(0xC3);
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected);
  EXPECT_EQ(RunOn(bench, {"--nvm", "buffer", "--eeprom-file", file, "nvm", "write", "257", "0102"}).exitCode,
            kExitUsage);  // past the 600 bytes
  std::filesystem::remove(file);
}

// An address or register number out of range never becomes some
// other register.
TEST(Cli, AddressesAndRegisterNumbersOutsideTheirRangeAreRefused) {
  EmulatedRig bench;
  const CliRun mac = RunOn(bench, {"reg", "write", "0x11314", "11111111"});
  EXPECT_EQ(mac.exitCode, kExitUsage);
  EXPECT_NE(mac.err.find("ADDR must lie in the MAC window 0x0000-0xFFFF, not 0x11314"), std::string::npos);
  EXPECT_EQ(RunOn(bench, {"reg", "write", "--space", "sys", "0x10234", "1"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"reg", "read", "0xFFFFFFFF"}).exitCode, kExitUsage);
  EXPECT_EQ(bench.chip().peekRegister(0x1314), 0u);
  EXPECT_EQ(bench.chip().peekRegister(0x234, chip::Space::Sys), 0u);
  const CliRun bbp = RunOn(bench, {"bbp", "write", "300", "5A"});
  EXPECT_NE(bbp.err.find("ID must be from 0 to 255, not 300"), std::string::npos) << bbp.err;

  const std::string file = TempFile("ranges.txt");
  std::ofstream(file) << "BBP 1 300 5A\nBBP 1 -1 5\nRF 1 99 13 77\nMAC 1\nMAC 1 1314 7\nPCI 0 0\n";
  const CliRun script = RunOn(bench, {"script", "run", file});
  EXPECT_EQ(script.exitCode, kExitFailed);
  EXPECT_TRUE(script.out.ends_with(
      "W:\tMAC 0x1314\t= 0x00000007\n"
      "Script ended: 1 command run, 0 lines failed, 4 lines skipped, 1 line matched no keyword\n"))
      << script.out;
  EXPECT_EQ(bench.chip().peekBbp(44), 0u);  // 300 cut to 8 bits would have been R44
  EXPECT_EQ(bench.chip().peekRf(3, 13), 0u);
  std::filesystem::remove(file);
}

// Findings 5 and 8: an absent chip and a busy one are told apart, in JSON too.
TEST(Cli, NoChipAndABusyChipSayWhichAndTheirCode) {
  EmulatedRig bench;
  {
    auto other = bench.provider().open(ioctl::kQaInterfaceClass, 0);  // another program holds it
    ASSERT_TRUE(other.handle);
    const CliRun busy = RunOn(bench, {"info", "--json"});
    EXPECT_EQ(busy.exitCode, kExitFailed);
    EXPECT_NE(busy.err.find("the Kestrel is busy: another program has it open (error 32)"), std::string::npos)
        << busy.err;
    EXPECT_EQ(busy.out.rfind("{\"ok\":false,\"message\":\"the Kestrel is busy", 0), 0u) << busy.out;
    EXPECT_NE(busy.out.find("\"error\":32"), std::string::npos) << busy.out;
  }
  bench.unplug();
  const CliRun absent = RunOn(bench, {"reg", "read", "0"});
  EXPECT_EQ(absent.exitCode, kExitFailed);
  EXPECT_NE(absent.err.find("no device: no Kestrel is plugged in (the driver has no device; error 2)"),
            std::string::npos)
      << absent.err;
}

// A script file that is not text is refused; a byte-order mark is
// no reason to lose the first line.
TEST(Cli, ScriptFilesThatAreNotTextAreRefusedWithANonZeroExit) {
  EmulatedRig bench;
  const std::string file = TempFile("bom.txt");
  std::ofstream(file, std::ios::binary) << "\xEF\xBB\xBF" "MAC 1 1314 5\nHELLO\n";
  const CliRun bom = RunOn(bench, {"script", "run", file});
  EXPECT_EQ(bom.exitCode, kExitOk) << bom.err;
  EXPECT_EQ(bom.out, "W:\tMAC 0x1314\t= 0x00000005\n"
                     "Script ended: 1 command run, 0 lines failed, 0 lines skipped, 1 line matched no keyword\n");
  std::ofstream(file, std::ios::binary) << std::string("\xFF\xFEM\0A\0C\0", 8);
  const CliRun utf16 = RunOn(bench, {"script", "run", file, "--json"});
  EXPECT_EQ(utf16.exitCode, kExitFailed);
  EXPECT_NE(utf16.out.find(file + " is UTF-16 text; a script is ASCII or UTF-8: nothing was run"),
            std::string::npos)
      << utf16.out;
  const CliRun folder = RunOn(bench, {"script", "run", std::filesystem::temp_directory_path().string()});
  EXPECT_EQ(folder.exitCode, kExitFailed);
  EXPECT_NE(folder.err.find("is a folder, not a script"), std::string::npos) << folder.err;
  std::filesystem::remove(file);
  const CliRun missing = RunOn(bench, {"script", "run", file});
  EXPECT_EQ(missing.exitCode, kExitFailed);
  EXPECT_NE(missing.err.find("cannot open the script file " + file + ": No such file or directory"),
            std::string::npos)
      << missing.err;
}

// Every refusal answers in JSON, the eFuse board does not ask for
// an image file, and one byte is one byte.
TEST(Cli, SmallerThingsAnEngineerReads) {
  EmulatedRig bench({.board = chip::Board::Efuse});
  EXPECT_EQ(RunOn(bench, {"script", "run", "--dialect", "perl", "x.txt", "--json"}).out,
            "{\"ok\":false,\"message\":\"--dialect must be keyword, bbp or rf, not \\\"perl\\\"\"}\n");
  EXPECT_EQ(RunOn(bench, {"--state", "", "info"}).exitCode, kExitUsage);
  const CliRun info = RunOn(bench, {"info"});
  EXPECT_EQ(info.err.find("EEPROM File not found"), std::string::npos) << info.err;
  EXPECT_NE(info.out.find("Configuration memory: eFuse\n"), std::string::npos) << info.out;
  EXPECT_EQ(RunOn(bench, {"nvm", "write", "1F0", "A5", "--yes"}).out, "Wrote 1 byte at 0x1F0 (eFuse)\n");
  const CliRun ioctl = RunOn(bench, {"ioctl", "22349C", "--out", "4", "--json"});
  EXPECT_NE(ioctl.out.find("\"codeName\":\"VQ_OID_USB_GET_FIRMWARE_VERSION\""), std::string::npos) << ioctl.out;
  EXPECT_NE(ioctl.out.find("\"errorName\":\"ERROR_SUCCESS\""), std::string::npos) << ioctl.out;
}

}  // namespace
}  // namespace kqa::cli
