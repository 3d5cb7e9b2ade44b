// The configuration-memory pages' commands (nvm save/load/mac/led, efuse
// forecast, usbid, strings, sn, flash) in-process on the emulated chip.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/device/tests/emulated_rig.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedRig;
using testing::CliRun;
using Bytes = std::vector<std::uint8_t>;

CliRun RunOn(EmulatedRig& bench, std::vector<std::string> arguments) {
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments));
}

struct Files {
  Files() : folder(std::filesystem::temp_directory_path() / ("kqa-cli-nvm-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder);
  }
  ~Files() { std::filesystem::remove_all(folder); }
  std::string path(const std::string& name) const { return (folder / name).string(); }
  Bytes read(const std::string& name) const {
    std::ifstream file(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
  void write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::path folder;
};

TEST(NvmPageCommands, ImagesMacAndLedWordsOnTheEepromBoard) {
  EmulatedRig bench;
  Files files;
  const CliRun saved = RunOn(bench, {"nvm", "save", files.path("e.bin")});
  EXPECT_EQ(saved.exitCode, kExitOk) << saved.err;
  EXPECT_EQ(saved.out, "Saved 1024 bytes of EEPROM to " + files.path("e.bin") + "\n");
  const Bytes image = files.read("e.bin");

  EXPECT_EQ(RunOn(bench, {"nvm", "mac"}).out.substr(0, 6), "024B51");
  const CliRun shortMac = RunOn(bench, {"nvm", "mac", "set", "0011223344"});
  EXPECT_EQ(shortMac.exitCode, kExitUsage);
  EXPECT_NE(shortMac.err.find("exactly 12 hexadecimal digits"), std::string::npos) << shortMac.err;
  EXPECT_EQ(RunOn(bench, {"nvm", "mac", "set", "001122334455"}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(bench, {"nvm", "mac"}).out, "001122334455\n");

  EXPECT_EQ(RunOn(bench, {"nvm", "load", files.path("e.bin")}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(bench, {"nvm", "save", files.path("again.bin")}).exitCode, kExitOk);
  EXPECT_EQ(files.read("again.bin"), image);
  files.write("short.bin", Bytes(100, 0));
  const CliRun shortFile = RunOn(bench, {"nvm", "load", files.path("short.bin")});
  EXPECT_EQ(shortFile.exitCode, kExitUsage);
  EXPECT_NE(shortFile.err.find("holds 100 bytes; a configuration image must hold 512"), std::string::npos);

  const CliRun leds = RunOn(bench, {"nvm", "led"});
  EXPECT_EQ(leds.exitCode, kExitOk) << leds.err;
  EXPECT_TRUE(leds.out.starts_with("3C 5555\n3E AAD9\n40 EDD8\ng-off\t1\tOff\na-off\t1\tOff\ng-down\t0\tOn\n"))
      << leds.out;
  EXPECT_NE(leds.out.find("act-linkg\t8\tSolid on,Blink data/mgmt\n"), std::string::npos);
  EXPECT_EQ(RunOn(bench, {"nvm", "led", "set", "--polarity", "low", "g-of=0"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"nvm", "led", "set", "--polarity", "low", "g-off=4"}).exitCode, kExitUsage);
  const CliRun set = RunOn(bench, {"nvm", "led", "set", "--polarity", "low", "g-off=2", "act-linka=9"});
  EXPECT_EQ(set.exitCode, kExitOk) << set.err;
  EXPECT_TRUE(set.out.starts_with("3C 5556\n3E BAD9\n40 ADD8\n")) << set.out;
}

TEST(NvmPageCommands, AnEfuseForecastIsWhatTheLoadBurns) {
  EmulatedRig bench({.board = chip::Board::Efuse});
  Files files;
  ASSERT_EQ(RunOn(bench, {"nvm", "save", files.path("now.bin")}).exitCode, kExitOk);
  Bytes image = files.read("now.bin");
  for (std::size_t i = 0x80; i < 0xA0; ++i) image[i] = static_cast<std::uint8_t>(i);  // blocks 8 and 9: new
  files.write("new.bin", image);

  const CliRun forecast = RunOn(bench, {"efuse", "forecast", files.path("new.bin")});
  EXPECT_EQ(forecast.exitCode, kExitOk) << forecast.err;
  EXPECT_EQ(forecast.out,
            "Free block before write=21, after write=19\n"
            "eFuse write of 512 bytes at 0x000:\n"
            "  logical block 8 (0x080-0x08F): new in physical block 20 (map byte 0x08 at 0x1F4)\n"
            "    burns 0x140-0x14F: 80 81 82 83 84 85 86 87 88 89 8A 8B 8C 8D 8E 8F\n"
            "  logical block 9 (0x090-0x09F): new in physical block 19 (map byte 0x49 at 0x1F3)\n"
            "    burns 0x130-0x13F: 90 91 92 93 94 95 96 97 98 99 9A 9B 9C 9D 9E 9F\n"
            "Free blocks: 21 before, 19 after.\n"
            "Nothing was burnt (a forecast only).\n");
  const auto burnt = bench.chip().efuseBytes();
  const CliRun unconfirmed = RunOn(bench, {"nvm", "load", files.path("new.bin")});
  EXPECT_EQ(unconfirmed.exitCode, kExitFailed);
  EXPECT_NE(unconfirmed.err.find("Free block before write=21, after write=19, are you sure to write?"),
            std::string::npos);
  EXPECT_EQ(bench.chip().efuseBytes(), burnt);
  const CliRun loaded = RunOn(bench, {"nvm", "load", files.path("new.bin"), "--yes"});
  EXPECT_EQ(loaded.exitCode, kExitOk) << loaded.err;
  EXPECT_EQ(loaded.out, "Loaded " + files.path("new.bin") + " into the eFuse; 19 / 29 blocks free\n");
  EXPECT_EQ(RunOn(bench, {"efuse", "free"}).out, "19 / 29\n");

  // On the EEPROM's side of the board the forecast has nothing to say.
  EXPECT_EQ(RunOn(bench, {"--nvm", "eeprom", "efuse", "forecast", files.path("new.bin")}).exitCode, kExitUsage);
  // USB identity and strings lie past the eFuse's 512 bytes.
  const CliRun usbid = RunOn(bench, {"usbid", "show"});
  EXPECT_EQ(usbid.exitCode, kExitUsage);
  EXPECT_NE(usbid.err.find("beyond the 512 bytes of the eFuse"), std::string::npos) << usbid.err;
}

TEST(NvmPageCommands, AnEfuseLoadTheFreeBlocksCannotHoldIsForecastAndRefused) {
  std::array<std::uint8_t, 512> nearlyFull{};
  for (std::size_t map = 482; map <= 508; ++map) nearlyFull[map] = 0xFF;  // two blocks left
  EmulatedRig bench({.board = chip::Board::Efuse, .efuseContent = nearlyFull});
  Files files;
  Bytes image(512, 0xFF);
  std::fill_n(image.begin(), 48, std::uint8_t{0x5A});
  files.write("three.bin", image);
  const CliRun forecast = RunOn(bench, {"efuse", "forecast", files.path("three.bin"), "--json"});
  EXPECT_EQ(forecast.exitCode, kExitFailed);
  EXPECT_NE(forecast.out.find("\"refusal\":\" eFuse write fail (overflow)!, Free block before write=2, after write=-1\""),
            std::string::npos)
      << forecast.out;
  EXPECT_NE(forecast.out.find("\"unplaced\":[2]"), std::string::npos) << forecast.out;
  const CliRun text = RunOn(bench, {"efuse", "forecast", files.path("three.bin")});
  EXPECT_TRUE(text.out.starts_with("Free block before write=2, after write=-1\n")) << text.out;
  EXPECT_NE(text.out.find("logical block 2 (0x020-0x02F): needs a new block, and none is left\n"), std::string::npos)
      << text.out;
  const CliRun load = RunOn(bench, {"nvm", "load", files.path("three.bin"), "--yes"});
  EXPECT_EQ(load.exitCode, kExitUsage);
  EXPECT_NE(load.err.find(" eFuse write fail (overflow)!, Free block before write=2, after write=-1"),
            std::string::npos);
  EXPECT_EQ(bench.chip().efuseBytes(), nearlyFull);
}

TEST(NvmPageCommands, UsbIdentityStringsAndSerialNumber) {
  EmulatedRig bench;
  EXPECT_EQ(RunOn(bench, {"strings", "list"}).out, "1\tTorvek\n2\t802.11n WLAN\n3\t1.0\n");
  const CliRun shown = RunOn(bench, {"usbid", "show"});
  EXPECT_TRUE(shown.out.starts_with(
      "WLAN  VID 1209  PID 0001  Release 0100  strings: manufacturer 1, product 2, serial number 0\n"))
      << shown.out;
  EXPECT_EQ(RunOn(bench, {"usbid", "set", "--vid", "12G9"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"usbid", "set", "--vendor", "TOOLONGXX"}).exitCode, kExitUsage);
  const CliRun set = RunOn(bench, {"usbid", "set", "--pid", "0x2", "--product", "Flash disk"});
  EXPECT_EQ(set.exitCode, kExitOk) << set.err;
  EXPECT_NE(set.out.find("WLAN  VID 1209  PID 0002"), std::string::npos) << set.out;
  EXPECT_NE(set.out.find("Pruduct Name: Flash disk\n"), std::string::npos) << set.out;

  EXPECT_EQ(RunOn(bench, {"strings", "clear"}).out, "");
  EXPECT_EQ(RunOn(bench, {"strings", "add", "Kestrel"}).out, "1\tKestrel\n");
  EXPECT_EQ(RunOn(bench, {"strings", "add", "QA"}).out, "1\tKestrel\n2\tQA\n");
  EXPECT_EQ(RunOn(bench, {"strings", "replace", "1", "Kestrel2"}).exitCode, kExitUsage);  // runs into "QA"
  EXPECT_EQ(RunOn(bench, {"strings", "replace", "7", "x"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"strings", "replace", "2", "Q"}).out, "1\tKestrel\n2\tQ\n");
  EXPECT_EQ(RunOn(bench, {"strings", "default"}).out, "1\tTorvek\n2\t802.11n WLAN\n3\t1.0\n");
  EXPECT_EQ(RunOn(bench, {"sn", "on"}).out, "Serial number on\n");
  EXPECT_NE(RunOn(bench, {"usbid", "show"}).out.find("Serial number: on"), std::string::npos);
  EXPECT_EQ(RunOn(bench, {"sn", "of"}).exitCode, kExitUsage);
}

TEST(NvmPageCommands, FlashEraseSaveAndLoad) {
  EmulatedRig bench;
  Files files;
  Bytes image(3 * 4096);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i / 7);
  files.write("flash.bin", image);
  EXPECT_EQ(RunOn(bench, {"flash", "erase"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"flash", "erase", "0", "--all", "2"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"flash", "erase", "1G"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(bench, {"flash", "erase", "--all", "1"}).out, "Erased blocks 0 to 0\n");
  const CliRun load = RunOn(bench, {"flash", "load", files.path("flash.bin"), "--units", "3"});
  EXPECT_EQ(load.exitCode, kExitOk) << load.err;
  const CliRun save = RunOn(bench, {"flash", "save", files.path("back.bin"), "--units", "3", "--json"});
  EXPECT_EQ(save.exitCode, kExitOk) << save.err;
  EXPECT_NE(save.out.find("\"units\":3,\"bytes\":12288"), std::string::npos) << save.out;
  EXPECT_EQ(files.read("back.bin"), image);
  EXPECT_EQ(RunOn(bench, {"flash", "erase", "0"}).out, "Erased block 0\n");
  EXPECT_NE(RunOn(bench, {"flash", "erase", "0A", "--json"}).out.find("\"block\":10,"), std::string::npos);
  EXPECT_EQ(bench.chip().flashBytes(0, 16), Bytes(16, 0xFF));

  // The flash ends at block 3F, unit 1023: past it the line is refused.
  EXPECT_EQ(RunOn(bench, {"flash", "erase", "3F"}).out, "Erased block 3F\n");
  EXPECT_EQ(RunOn(bench, {"flash", "erase", "--all", "64"}).out, "Erased blocks 0 to 63\n");
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"flash", "erase", "40"}, "must be 0 to 3F (the flash holds 4 MB), not \"40\""},
      {{"flash", "erase", "9999"}, "not \"9999\""},
      {{"flash", "erase", "--all", "65"}, "must be from 0 to 64, not 65"},
      {{"flash", "save", files.path("over.bin"), "--units", "1025"}, "must be from 1 to 1024, not 1025"},
      {{"flash", "load", files.path("flash.bin"), "--units", "1025"}, "must be from 1 to 1024, not 1025"},
  };
  for (const auto& [line, reason] : refused) {
    const CliRun run = RunOn(bench, line);
    EXPECT_EQ(run.exitCode, kExitUsage) << line[2];
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(files.path("over.bin")));
}

TEST(NvmPageCommands, ImagesAreNeverReadFromOrSavedOverAPipe) {
  EmulatedRig bench;
  Files files;
  const std::string pipe = files.path("pipe.bin");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  const Bytes before = bench.chip().eepromBytes();
  const CliRun load = RunOn(bench, {"nvm", "load", pipe});
  EXPECT_EQ(load.exitCode, kExitUsage);
  EXPECT_NE(load.err.find(pipe + " is a pipe, not a regular file"), std::string::npos) << load.err;
  EXPECT_EQ(bench.chip().eepromBytes(), before);
  const CliRun save = RunOn(bench, {"nvm", "save", pipe});
  EXPECT_EQ(save.exitCode, kExitUsage);
  EXPECT_NE(save.err.find("cannot save to " + pipe + ": it is a pipe"), std::string::npos) << save.err;
  EXPECT_EQ(RunOn(bench, {"flash", "save", pipe, "--units", "1"}).exitCode, kExitUsage);
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));

  // With --json the refusal carries the page's reason.
  files.write("short.bin", Bytes(100, 0));
  const CliRun json = RunOn(bench, {"nvm", "load", files.path("short.bin"), "--json"});
  EXPECT_NE(json.out.find("\"shown\":[\"The file " + files.path("short.bin") + " holds 100 bytes;"),
            std::string::npos)
      << json.out;
}

}  // namespace
}  // namespace kqa::cli
