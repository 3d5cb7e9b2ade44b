// The buffer and EEPROM back ends on the fake device; the eFuse back end is
// in efuse_test.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/device/config_memory.h"
#include "app/device/image_file.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::TestBed;
using namespace kqa::ioctl;

TEST(ConfigMemory, BufferModeCopiesWithinTheImageOnly) {
  TestBed bed;
  SelectBackEnd(bed.memoryMode, ConfigMemoryBackEnd::Buffer);
  ASSERT_EQ(WriteEepromWord(bed.configMemory(), 0x3FE, 0xBEEF), NvmResult::Ok);
  EXPECT_EQ(bed.memoryMode.eepromImage[0x3FE], 0xEF);
  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(bed.configMemory(), 0x3FE, word), NvmResult::Ok);
  EXPECT_EQ(word, 0xBEEF);

  const std::array<std::uint8_t, 4> data = {1, 2, 3, 4};
  EXPECT_EQ(WriteEepromBlock(bed.configMemory(), 0x3FE, data), NvmResult::Failed);
  EXPECT_EQ(bed.prompt.messages(),
            std::vector<std::string>{"Offset 0x3FE with 4 bytes lies outside the 1024-byte EEPROM image!"});
  EXPECT_EQ(bed.memoryMode.eepromImage[0x3FE], 0xEF);
  EXPECT_TRUE(bed.chip.calls().empty());
}

TEST(ConfigMemory, TheImageFileKeepsItsSizeAndOnlyTheWrittenBytesChange) {
  TestBed bed;
  const std::string path = ::testing::TempDir() + "kqa-image-" + std::to_string(::getpid()) + ".bin";
  std::vector<std::uint8_t> original(600);
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<std::uint8_t>(i * 13);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(original.data()), 600);

  ASSERT_TRUE(LoadEepromImageFile(bed.memoryMode, path));
  SelectBackEnd(bed.memoryMode, ConfigMemoryBackEnd::Buffer);
  ASSERT_EQ(WriteEepromBlock(bed.configMemory(), 0x101, std::array<std::uint8_t, 3>{1, 2, 3}), NvmResult::Ok);
  std::array<std::uint8_t, 2> past{};
  EXPECT_EQ(ReadEepromBlock(bed.configMemory(), 599, past), NvmResult::Failed);
  EXPECT_EQ(bed.prompt.messages().back(), "Offset 0x257 with 2 bytes lies outside the 600-byte EEPROM image!");
  ASSERT_TRUE(SaveEepromImageFile(bed.memoryMode, path));

  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> saved{std::istreambuf_iterator<char>(file), {}};
  std::vector<std::uint8_t> expected = original;
  expected[0x101] = 1;
  expected[0x102] = 2;
  expected[0x103] = 3;
  EXPECT_EQ(saved, expected);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  std::string problem;
  EXPECT_FALSE(SaveEepromImageFile(bed.memoryMode, "/nonexistent/folder/image.bin", &problem));
  EXPECT_NE(problem.find("/nonexistent/folder/image.bin.tmp"), std::string::npos) << problem;
  EXPECT_FALSE(LoadEepromImageFile(bed.memoryMode, ::testing::TempDir(), &problem));
  EXPECT_NE(problem.find("is a folder"), std::string::npos) << problem;
  EXPECT_EQ(bed.memoryMode.eepromImageSize, 600u);  // a refused file changes nothing
  std::filesystem::remove(path);
}

TEST(ConfigMemory, ASaveFollowsLinksKeepsTheModeAndRefusesWhatItMayNotReplace) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(::testing::TempDir()) / ("kqa-replace-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const auto at = [&](const char* name) { return (folder / name).string(); };
  const auto contents = [](const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>{std::istreambuf_iterator<char>(file), {}};
  };
  const std::vector<std::uint8_t> bytes = {9, 8, 7};
  std::string problem;

  // A file with its own mode, reached through a relative link: the file
  // changes and keeps rw-r-----, the link stays a link.
  std::ofstream(at("a.bin")) << "old";
  fs::permissions(at("a.bin"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("a.bin", at("link.bin"));
  ASSERT_TRUE(WriteFileWhole(at("link.bin"), bytes, &problem)) << problem;
  EXPECT_TRUE(fs::is_symlink(at("link.bin")));
  EXPECT_EQ(contents(at("a.bin")), bytes);
  EXPECT_EQ(fs::status(at("a.bin")).permissions() & fs::perms::all, fs::perms(0640));
  // A link to a file not there yet: the file is made where it points.
  fs::create_symlink("new.bin", at("ahead.bin"));
  ASSERT_TRUE(WriteFileWhole(at("ahead.bin"), bytes, &problem)) << problem;
  EXPECT_TRUE(fs::is_symlink(at("ahead.bin")));
  EXPECT_EQ(contents(at("new.bin")), bytes);

  // A pipe, a link to it and a folder are refused as saves and as loads
  // (a pipe would wait for a writer forever), and stay what they were.
  ASSERT_EQ(::mkfifo(at("pipe").c_str(), 0644), 0);
  fs::create_symlink(at("pipe"), at("to-pipe"));
  fs::create_directory(at("folder"));
  const std::pair<std::string, std::string> refusals[] = {
      {at("pipe"), "cannot save to " + at("pipe") + ": it is a pipe, not a regular file"},
      {at("to-pipe"), "cannot save to " + at("to-pipe") + " (a link to " + at("pipe") +
                          "): it is a pipe, not a regular file"},
      {at("folder"), "cannot save to " + at("folder") + ": it is a folder"},
  };
  for (const auto& [path, expected] : refusals) {
    EXPECT_FALSE(WriteFileWhole(path, bytes, &problem)) << path;
    EXPECT_EQ(problem, expected);
    EXPECT_EQ(NotReplaceable(path), expected);
  }
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(at("pipe"))));
  EXPECT_TRUE(fs::is_symlink(at("to-pipe")));
  std::vector<std::uint8_t> read;
  EXPECT_FALSE(ReadFileStart(at("to-pipe"), 16, read, &problem, "the image"));
  EXPECT_EQ(problem, "the image " + at("to-pipe") + " is a pipe, not a regular file");
  ConfigMemoryMode mode;
  EXPECT_FALSE(LoadEepromImageFile(mode, at("pipe"), &problem));
  EXPECT_FALSE(mode.eepromFileLoaded);

  // A file this user may not write (root may write any).
  if (::geteuid() != 0) {
    fs::permissions(at("a.bin"), fs::perms::owner_read);
    EXPECT_FALSE(WriteFileWhole(at("a.bin"), std::vector<std::uint8_t>{1}, &problem));
    EXPECT_EQ(problem, "cannot save to " + at("a.bin") + ": Permission denied");
    EXPECT_EQ(contents(at("a.bin")), bytes);
  }
  EXPECT_FALSE(fs::exists(at("a.bin.tmp")));
  EXPECT_FALSE(fs::exists(at("pipe.tmp")));
  fs::remove_all(folder);
}

TEST(ConfigMemory, EepromModeSendsWholeWordsButKeepsTheCallersBufferAndTheNeighbouringByte) {
  TestBed bed;
  for (std::size_t i = 0; i < bed.chip.eeprom.size(); ++i) bed.chip.eeprom[i] = static_cast<std::uint8_t>(i);
  std::array<std::uint8_t, 4> guarded = {0, 0, 0, 0xEE};
  ASSERT_EQ(ReadEepromBlock(bed.configMemory(), 0x10, std::span(guarded).first(3)), NvmResult::Ok);
  EXPECT_EQ(guarded, (std::array<std::uint8_t, 4>{0x10, 0x11, 0x12, 0xEE}));
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_EEPROM_READ).at(0).input,
            (std::vector<std::uint8_t>{0x10, 0x00, 0x03, 0x00}));

  ASSERT_EQ(WriteEepromWord(bed.configMemory(), 0x20, 0x1234), NvmResult::Ok);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_EEPROM_WRITE).at(0).input,
            (std::vector<std::uint8_t>{0x20, 0x00, 0x02, 0x00, 0x34, 0x12}));
  const std::array<std::uint8_t, 3> odd = {0xA1, 0xA2, 0xA3};
  ASSERT_EQ(WriteEepromBlock(bed.configMemory(), 0x20, odd), NvmResult::Ok);
  EXPECT_EQ(bed.chip.eeprom[0x22], 0xA3);
  EXPECT_EQ(bed.chip.eeprom[0x23], 0x23);

  bed.chip.clearCalls();
  EXPECT_EQ(WriteEepromBlock(bed.configMemory(), 0, std::vector<std::uint8_t>(513)), NvmResult::Failed);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"Maximum size must <= 512"});
  EXPECT_TRUE(bed.chip.calls().empty());

  bed.chip.failAlways(VQ_OID_USB_VENDOR_EEPROM_READ, ERROR_GEN_FAILURE);
  std::uint16_t word = 0x5555;
  EXPECT_EQ(ReadEepromWord(bed.configMemory(), 0x10, word), NvmResult::Failed);
  EXPECT_EQ(word, 0x5555);
  EXPECT_EQ(bed.prompt.messages().back(), "DeviceIoControl failed!  Error = 31");
}

}  // namespace
}  // namespace kqa::device
