#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "chip/eeprom.h"
#include "chip/kestrel.h"
#include "chip/nor_flash.h"
#include "chip/state_file.h"
#include "chip/tests/test_host.h"
#include "platform/clock/virtual_clock.h"

namespace kqa::chip {
namespace {

namespace fs = std::filesystem;
using testing::TestHost;

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "kqa-chip-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TemporaryFolder() { fs::remove_all(path_); }
  fs::path operator/(const char* name) const { return path_ / name; }

 private:
  fs::path path_;
};

NvmState SampleState(std::uint8_t fill, std::size_t usedSectors) {
  NvmState state;
  state.board = Board::Efuse;
  state.eeprom.assign(Eeprom::kSize, fill);
  state.efuse.fill(static_cast<std::uint8_t>(fill ^ 0x0F));
  state.flash.assign(NorFlash::kSize, 0xFF);
  for (std::size_t i = 0; i < usedSectors * NorFlash::kSectorSize; i += 97)
    state.flash[i] = static_cast<std::uint8_t>(fill + i);
  return state;
}

bool Same(const NvmState& a, const NvmState& b) {
  return a.board == b.board && a.eeprom == b.eeprom && a.efuse == b.efuse && a.flash == b.flash;
}

std::string RefusalOf(const std::vector<std::uint8_t>& bytes) {
  try {
    DecodeNvmState(bytes);
  } catch (const ChipStateError& error) {
    return error.what();
  }
  return "";
}

KestrelOptions WithStateFile(const fs::path& path, Completions completions = Completions::Stepped) {
  return {.stateFile = path, .completions = completions};
}

TEST(StateFile, RoundTripsEveryMemoryAndRefusesAnythingButAWholeWellFormedFile) {
  const NvmState state = SampleState(0x3C, 2);
  const auto good = EncodeNvmState(state);
  EXPECT_TRUE(Same(DecodeNvmState(good), state));
  EXPECT_LT(good.size(), 3 * NorFlash::kSectorSize) << "two sectors of data, 62 erased ones not stored";

  for (std::size_t length : {std::size_t{0}, std::size_t{10}, std::size_t{100}, good.size() / 2, good.size() - 1}) {
    const std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_NE(RefusalOf(truncated), "") << "truncated to " << length;
  }
  auto flipped = good;
  flipped[5000] ^= 0x01;
  EXPECT_NE(RefusalOf(flipped).find("checksum"), std::string::npos);
  auto magic = good;
  magic[0] = 'X';
  EXPECT_NE(RefusalOf(magic).find("magic"), std::string::npos);

  // A well-checksummed file of another version is still refused.
  auto version = good;
  version[8] = 2;
  const std::uint32_t crc = Crc32(version.data(), version.size() - 4);
  for (int i = 0; i < 4; ++i) version[version.size() - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
  EXPECT_NE(RefusalOf(version).find("version 2"), std::string::npos);
}

// The background saver (Completions::Thread) keeps up with EEPROM and flash
// writes; an eFuse burn is on disk before its request returns.
TEST(StateFile, AChipStartsFromItsFileAndKeepsItUpToDate) {
  TemporaryFolder folder;
  const fs::path path = folder / "kestrel.state";
  VirtualClock clock;
  {
    Kestrel chip(clock, WithStateFile(path, Completions::Thread));
    EXPECT_TRUE(fs::exists(path)) << "written at once";
    TestHost host(chip);
    host.efusePhysicalWrite(0x10, 0x0081);
    EXPECT_EQ(LoadNvmState(path).efuse[0x10], 0x81) << "no save call, no destruction needed";
    for (std::uint16_t offset = 0; offset < 64; offset += 2) {
      const std::uint8_t word[2] = {static_cast<std::uint8_t>(offset), 0xA5};
      host.vendorOut(0x08, 0, offset, word);
    }
    const std::uint8_t word[2] = {0x34, 0x12};
    host.vendorOut(0x0E, 0x0000, 0x0010, word);  // flash at 0x100000
    chip.waitUntilSaved();
    const NvmState onDisk = LoadNvmState(path);
    EXPECT_EQ(onDisk.eeprom[62], 62);
    EXPECT_EQ(onDisk.eeprom[63], 0xA5);
  }
  Kestrel again(clock, WithStateFile(path));
  EXPECT_EQ(again.efuseBytes()[0x10], 0x81) << "a burnt bit stays burnt";
  EXPECT_EQ(again.eepromBytes()[0x3F], 0xA5);
  EXPECT_EQ(again.flashBytes(0x100000, 2), (std::vector<std::uint8_t>{0x34, 0x12}));
}

TEST(StateFile, AMalformedOrForeignFileIsRefusedAndLeftAlone) {
  TemporaryFolder folder;
  VirtualClock clock;
  const auto refusal = [&](const KestrelOptions& options) {
    try {
      Kestrel chip(clock, options);
    } catch (const ChipStateError& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  const fs::path broken = folder / "broken.state";
  std::ofstream(broken) << "not a chip state";
  EXPECT_PRED_FORMAT2(::testing::IsSubstring, "broken.state", refusal(WithStateFile(broken)));
  EXPECT_EQ(fs::file_size(broken), 16u) << "the file is not overwritten";

  const fs::path efuseBoard = folder / "efuse.state";
  { Kestrel chip(clock, {.board = Board::Efuse, .stateFile = efuseBoard, .completions = Completions::Stepped}); }
  EXPECT_PRED_FORMAT2(::testing::IsSubstring, "eFuse board", refusal(WithStateFile(efuseBoard)))
      << "an eFuse board's state must not load into the EEPROM board";
  EXPECT_PRED_FORMAT2(::testing::IsSubstring, "/nonexistent-folder",
                      refusal(WithStateFile("/nonexistent-folder/kestrel.state")));
}

// A child saves two states in turn, as fast as it can, telling the parent
// before each save; the parent kills it at a different save each time. The
// file must always load, as one of the two states.
TEST(StateFile, SurvivesAKillInTheMiddleOfASave) {
  TemporaryFolder folder;
  const fs::path path = folder / "kestrel.state";
  const NvmState first = SampleState(0x01, 24);
  const NvmState second = SampleState(0x02, 24);
  const std::vector<std::uint8_t> encoded[2] = {EncodeNvmState(first), EncodeNvmState(second)};
  SaveNvmState(path, first);

  int interrupted = 0;
  for (int round = 1; round <= 12; ++round) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      for (int n = 0;; ++n) {
        const char tick = 't';
        if (::write(pipeFds[1], &tick, 1) != 1) ::_exit(1);
        ReplaceFileAtomically(path, encoded[(n + 1) % 2]);
      }
    }
    ::close(pipeFds[1]);
    char tick;
    for (int i = 0; i < round; ++i) ASSERT_EQ(::read(pipeFds[0], &tick, 1), 1);
    // Not a wait for the chip: it spreads the kills over the save in progress.
    std::this_thread::sleep_for(std::chrono::microseconds(300 * (round % 8)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    if (fs::exists(path.string() + ".tmp")) ++interrupted;
    const NvmState loaded = LoadNvmState(path);
    EXPECT_TRUE(Same(loaded, first) || Same(loaded, second)) << "round " << round;
    fs::remove(path.string() + ".tmp");
  }
  RecordProperty("killed_mid_save", interrupted);
  EXPECT_GT(interrupted, 0) << "no kill landed inside a save: the test proved nothing";
}

}  // namespace
}  // namespace kqa::chip
