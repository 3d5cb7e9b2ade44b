// The MCU firmware download and the firmware commands against the emulated
// Kestrel behind the in-process driver: the MCU only runs an image that
// arrived whole, so a started MCU proves every chunk landed where it belongs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/device/tests/emulated_rig.h"
#include "app/txrx/bench_tools.h"
#include "app/txrx/firmware_loader.h"
#include "chip/firmware/firmware_image.h"
#include "chip/radio/radio_side.h"
#include "platform/bytes/little_endian.h"

namespace kqa::txrx {
namespace {

namespace fs = std::filesystem;

struct Folder {
  Folder() : path(fs::temp_directory_path() / ("kqa-fw-" + std::to_string(::getpid()) + "-" + std::to_string(++count))) {
    fs::create_directories(path);
  }
  ~Folder() { fs::remove_all(path); }
  fs::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(path / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
    return path / name;
  }
  fs::path writeText(const std::string& name, const std::string& text) const {
    std::ofstream(path / name) << text;
    return path / name;
  }
  fs::path path;
  static inline int count = 0;
};

struct Rig {
  device::testing::RigBed bed;
  FirmwareLoader loader{bed.device};
  chip::Kestrel& chip() { return bed.bench.chip(); }
  chip::Mcu::Counters mcu() {
    return chip().withRadio([](chip::RadioSide& radio) { return radio.mcu().counters(); });
  }
  bool running() {
    return chip().withRadio([](chip::RadioSide& radio) { return radio.mcu().running(); });
  }
  std::optional<std::uint32_t> function(std::uint32_t n) {
    return chip().withRadio([n](chip::RadioSide& radio) { return radio.mcu().functionParameter(n); });
  }
};

std::vector<std::uint8_t> KestrelBin() { return chip::EncodeFirmwareFile(chip::BuildKestrelFirmware()); }

// A headerless image: the vector block, then an ILM body of `body` bytes;
// no DLM.
std::vector<std::uint8_t> Headerless(std::size_t body) {
  std::vector<std::uint8_t> ilm(64 + body);
  for (std::size_t i = 64; i < ilm.size(); ++i) ilm[i] = static_cast<std::uint8_t>(i * 7);
  const auto block = chip::MakeVectorBlock(0x40, 0x00010000, ilm, {});
  std::copy(block.begin(), block.end(), ilm.begin());
  return ilm;
}

TEST(FirmwareDownload, KestrelBinTakesSevenChunksAndStartsTheMcu) {
  Rig b;
  Folder folder;
  const fs::path file = folder.write("Kestrel.bin", KestrelBin());
  b.loader.search = {folder.path / "missing" / "Kestrel.bin", file};
  ASSERT_EQ(b.loader.downloadKestrelBin(), page::Outcome::Done);
  EXPECT_EQ(b.loader.lastFile(), file.string());
  // ILM body 5000 bytes: 4 x 1024 + 904; DLM 1536 bytes: 1024 + 512.
  EXPECT_EQ(b.mcu().chunks, 7u);
  EXPECT_EQ(b.mcu().refusedChunks, 0u);
  EXPECT_TRUE(b.running());
  EXPECT_TRUE(b.bed.device.settings.firmwareReady);
  EXPECT_EQ(b.chip().peekRegister(0x09A8), 7u);
  EXPECT_EQ(b.chip().peekRegister(0x09A0), 0x00400230u);
  EXPECT_TRUE(b.bed.prompt.messages().empty());
}

TEST(FirmwareDownload, HeaderlessImageRoundsItsLastChunkUp) {
  // 1030 bytes of body: 1024 to 64, then 6 rounded up to 8 at 1088.
  Rig b;
  Folder folder;
  ASSERT_EQ(b.loader.loadHeaderless(folder.write("image.bin", Headerless(1030))), page::Outcome::Done);
  EXPECT_EQ(b.mcu().chunks, 2u);
  EXPECT_TRUE(b.running());

  // The dialog's cancel does nothing.
  b.bed.prompt.answerFile(std::nullopt);
  EXPECT_EQ(b.loader.chooseAndLoadHeaderless(), page::Outcome::Cancelled);
  EXPECT_EQ(b.bed.prompt.events().back().dialog.title, "Open Firmware File");
}

TEST(FirmwareDownload, BadFilesAreRefusedBeforeAnythingIsSent) {
  std::vector<std::uint8_t> shortened = KestrelBin();
  shortened.resize(shortened.size() - 1);  // one byte short of what the header says
  std::vector<std::uint8_t> tinyIlm(32 + 16, 0);
  PutLe32(tinyIlm, 0, 16);  // an ILM shorter than its vector block
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"big.bin", std::vector<std::uint8_t>(128'001, 0), "more than the 128000-byte buffer"},
      {"short.bin", shortened, "but its header says"},
      {"tiny.bin", tinyIlm, "shorter than the 64-byte vector block"},
      {"header.bin", std::vector<std::uint8_t>(20, 0), "less than its 32-byte header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig b;
    Folder folder;
    b.loader.search = {folder.write("Kestrel.bin", c.bytes)};
    EXPECT_EQ(b.loader.downloadKestrelBin(), page::Outcome::Refused);
    ASSERT_EQ(b.bed.prompt.messages().size(), 1u);
    EXPECT_NE(b.bed.prompt.messages()[0].find(c.says), std::string::npos) << b.bed.prompt.messages()[0];
    EXPECT_EQ(b.mcu().chunks + b.mcu().refusedChunks, 0u);
    EXPECT_EQ(b.chip().peekRegister(0x0800), 0u);  // not even the MCU's set-up
    EXPECT_FALSE(b.bed.device.settings.firmwareReady);
  }
  Rig b;
  Folder folder;
  EXPECT_EQ(b.loader.loadHeaderless(folder.write("stub.bin", std::vector<std::uint8_t>(63, 1))), page::Outcome::Refused);
  EXPECT_EQ(b.chip().peekRegister(0x0800), 0u);
}

TEST(FirmwareDownload, ADownloadThatDidNotLandIsAFailure) {
  // The driver reports USB failures inside a control code as success; the
  // chip's answer decides. The length register's write of the first chunk
  // stalls, so the MCU refuses that chunk and will not start.
  Rig b;
  Folder folder;
  b.loader.search = {folder.write("Kestrel.bin", KestrelBin())};
  b.chip().faults().failControl(chip::ControlFault::Stall, 1, {.request = 0x46, .index = 0x0234});
  EXPECT_EQ(b.loader.downloadKestrelBin(), page::Outcome::Failed);
  EXPECT_FALSE(b.bed.device.settings.firmwareReady);
  EXPECT_FALSE(b.running());
  EXPECT_EQ(b.mcu().refusedChunks, 1u);
  ASSERT_EQ(b.bed.prompt.messages().size(), 1u);
  EXPECT_NE(b.bed.prompt.messages()[0].find("the MCU does not run it"), std::string::npos);

  // A chip that is gone: the control codes fail and nothing is claimed.
  b.bed.bench.unplug();
  EXPECT_EQ(b.loader.downloadKestrelBin(), page::Outcome::Failed);
  EXPECT_FALSE(b.bed.device.settings.firmwareReady);
}

TEST(FirmwareDownload, WithoutAnImageNoFunctionCommandIsSent) {
  device::testing::RigBed bed;
  BenchTools tools(bed.device);
  TxRxTester tester(bed.configMemory(), bed.channels, &tools);
  tools.attach(tester);
  tools.firmware.search = {"/nonexistent/Kestrel.bin"};
  ASSERT_EQ(tester.activate(), page::Outcome::Done);
  EXPECT_EQ(bed.prompt.messages().front(), "Can not load the firmware \"Kestrel.bin\"");
  EXPECT_FALSE(bed.device.settings.firmwareReady);
  const auto counters = bed.bench.chip().withRadio([](chip::RadioSide& radio) { return radio.mcu().counters(); });
  EXPECT_EQ(counters.commands + counters.ignoredCommands, 0u);
  // Nor on a later bandwidth or channel change.
  tester.selectBandwidth(1);
  tester.selectChannel(5);
  EXPECT_EQ(bed.bench.chip().withRadio([](chip::RadioSide& radio) { return radio.mcu().counters().ignoredCommands; }),
            0u);
}

TEST(FirmwareDownload, ActivationDownloadsThenConfiguresTheRunningFirmware) {
  device::testing::RigBed bed;
  BenchTools tools(bed.device);
  TxRxTester tester(bed.configMemory(), bed.channels, &tools);
  tools.attach(tester);
  Folder folder;
  tools.firmware.search = {folder.write("Kestrel.bin", KestrelBin())};
  ASSERT_EQ(tester.activate(), page::Outcome::Done);
  EXPECT_TRUE(bed.device.settings.firmwareReady);
  const auto parameter = [&](std::uint32_t n) {
    return bed.bench.chip().withRadio([n](chip::RadioSide& radio) { return radio.mcu().functionParameter(n); });
  };
  EXPECT_EQ(parameter(1), 0u);
  EXPECT_EQ(parameter(9), 0u);
  EXPECT_EQ(parameter(6), 0x10000u);  // bit 16 set, bits 0-7 cleared by the second of the pair
  tester.selectBandwidth(1);
  EXPECT_EQ(parameter(6), 0x10100u);  // bit 8: 40 MHz
  EXPECT_TRUE(bed.prompt.messages().empty()) << bed.prompt.messages().front();
}

TEST(FirmwareCommands, SequenceNumbersWrapAndEveryCommandIsAnswered) {
  Rig b;
  ASSERT_TRUE(b.bed.bench.startFirmware());
  b.bed.device.settings.firmwareReady = true;
  bool receiving = false;
  BenchCalibrations none;
  RadioControl radio(b.bed.configMemory(), b.bed.channels, receiving, none);
  // Sequences 1..15, then 1 and 2 again: each must be matched by its answer.
  for (std::uint32_t n = 0; n < 17; ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(radio.sendFunction(4, n), 0);
    EXPECT_EQ(b.function(4), n);
  }
  EXPECT_EQ(b.mcu().commands, 17u);
  EXPECT_EQ(b.bed.device.qaCmdSequence, 3);
  EXPECT_EQ(b.chip().peekRegister(0x1004) & 0x8, 0u);  // reception was switched off again
}

TEST(FirmwareCommands, SendFwCmdSendsTheFilesWordsAsOnePacket) {
  Rig b;
  ASSERT_TRUE(b.bed.bench.startFirmware());
  Folder folder;
  // A function command: header 0x51F10008 (command 31, sequence 1, 8 bytes),
  // function 5, parameter 0x1234.
  EXPECT_EQ(b.loader.sendCommandFile(folder.writeText("cmd.txt", "51F10008\n5 0x1234\n")), page::Outcome::Done);
  EXPECT_EQ(b.function(5), 0x1234u);

  const std::string many = [] {
    std::string text;
    for (int i = 0; i < 376; ++i) text += "1 ";
    return text;
  }();
  const struct {
    const char* text;
    const char* says;
  } bad[] = {{"51F10008 12G4", "word 2"}, {"", "no word"}, {"1 100000000", "word 2"}};
  for (const auto& c : bad) {
    b.bed.prompt.clear();
    EXPECT_EQ(b.loader.sendCommandFile(folder.writeText("bad.txt", c.text)), page::Outcome::Refused);
    ASSERT_EQ(b.bed.prompt.messages().size(), 1u);
    EXPECT_NE(b.bed.prompt.messages()[0].find(c.says), std::string::npos) << b.bed.prompt.messages()[0];
  }
  EXPECT_EQ(b.loader.sendCommandFile(folder.writeText("long.txt", many)), page::Outcome::Refused);
  EXPECT_EQ(b.mcu().commands, 1u);
}

}  // namespace
}  // namespace kqa::txrx
