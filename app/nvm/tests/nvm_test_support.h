#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/device/efuse.h"
#include "app/device/tests/emulated_rig.h"

namespace kqa::nvm::testing {

using Bytes = std::vector<std::uint8_t>;

// A folder of the test's own for the files it saves and loads.
class TestFolder {
 public:
  TestFolder() {
    static std::atomic<int> next{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kqa-nvm-" + std::to_string(::getpid()) + "-" + std::to_string(next++));
    std::filesystem::create_directories(path_);
  }
  ~TestFolder() { std::filesystem::remove_all(path_); }

  std::string file(const std::string& name) const { return (path_ / name).string(); }
  bool holdsOnly(const std::string& name) const {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      ++count;
      if (entry.path().filename() != name) return false;
    }
    return count == 1;
  }

 private:
  std::filesystem::path path_;
};

inline Bytes ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// The emulated chip on either board, after the program's start-up.
struct Board : device::testing::RigBed {
  explicit Board(chip::Board board = chip::Board::Eeprom,
                 std::optional<std::array<std::uint8_t, 512>> efuse = std::nullopt)
      : RigBed({.board = board, .efuseContent = efuse}) {
    prompt.clear();  // the eFuse board's start-up finds no image file
  }

  Bytes eeprom(std::size_t from, std::size_t count) {
    const Bytes all = bench.chip().eepromBytes();
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(from),
                 all.begin() + static_cast<std::ptrdiff_t>(from + count));
  }
  std::array<std::uint8_t, 512> burnt() { return bench.chip().efuseBytes(); }
  Bytes logical() {
    Bytes image(512);
    device::ReadEfuseLogicalBlock(device, 0, image, false);
    return image;
  }
  std::string lastMessage() const {
    const auto all = prompt.messages();
    return all.empty() ? std::string() : all.back();
  }
  std::vector<std::string> questions() const {
    std::vector<std::string> asked;
    for (const auto& event : prompt.events())
      if (event.kind == ScriptedPrompt::Kind::Question) asked.push_back(event.text);
    return asked;
  }

  TestFolder folder;
};

}  // namespace kqa::nvm::testing
