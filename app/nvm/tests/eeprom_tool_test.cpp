// The EEPROM page's logic on the emulated chip: the EEPROM board (external
// EEPROM) and the eFuse board (factory eFuse: logical blocks 0, 3, 4, 5, 6,
// 7, 13 and 14 in physical blocks 28 down to 21, 21 blocks free).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "app/device/efuse_accounting.h"
#include "app/device/efuse_plan.h"
#include "app/nvm/eeprom_tool.h"
#include "app/device/tests/fake_device.h"
#include "app/nvm/tests/nvm_test_support.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::nvm {
namespace {

using page::Outcome;
using registers::Direction;
using testing::Board;
using testing::Bytes;
using testing::ReadAll;
using testing::WriteAll;

struct Eeprom : Board {
  Eeprom() : Board(chip::Board::Eeprom) {}
  EepromTool tool{configMemory()};
};

struct Efuse : Board {
  explicit Efuse(std::optional<std::array<std::uint8_t, 512>> content = std::nullopt)
      : Board(chip::Board::Efuse, content) {}
  EepromTool tool{configMemory()};
};

TEST(EepromTool, SingleBytesTouchOnlyTheirByteAndAnythingButOneHexByteIsRefused) {
  Eeprom board;
  EepromTool& tool = board.tool;
  tool.offsetText = "5";  // the high byte of the word at 0x04: the MAC's second byte
  EXPECT_EQ(tool.readWrite(), Outcome::Done);
  EXPECT_EQ(tool.valueText, "4B");

  tool.direction = Direction::Write;
  tool.offsetText = "21";
  tool.valueText = "AB";
  EXPECT_EQ(tool.readWrite(), Outcome::Done);
  EXPECT_EQ(board.eeprom(0x20, 3), (Bytes{0xFF, 0xAB, 0xFF}));

  const Bytes before = board.eeprom(0, 1024);
  for (auto [offset, value] : {std::pair{"20", "1AB"}, {"20", "G1"}, {"400", "01"}, {"12G4", "01"}}) {
    SCOPED_TRACE(std::string(offset) + " " + value);
    tool.offsetText = offset;
    tool.valueText = value;
    EXPECT_EQ(tool.readWrite(), Outcome::Refused);
  }
  EXPECT_EQ(board.eeprom(0, 1024), before);
  EXPECT_EQ(board.prompt.messages()[2], "Offset 0x400 with 1 bytes lies outside the 1024-byte EEPROM!");
}

TEST(EepromTool, BlockWritesTakeTheHexViewsBytesToTheLastOneAndStayWithinIt) {
  Eeprom board;
  EepromTool& tool = board.tool;
  tool.valueMode = false;
  tool.direction = Direction::Write;
  auto buffer = tool.pageBuffer();
  for (std::size_t i = 0; i < 62; ++i) buffer[0x10 + i] = static_cast<std::uint8_t>(i + 1);
  tool.offsetText = "10";
  tool.lengthText = "62";
  EXPECT_EQ(tool.readWrite(), Outcome::Done);
  EXPECT_EQ(board.eeprom(0x10, 62), Bytes(buffer.begin() + 0x10, buffer.begin() + 0x10 + 62));

  // An odd offset and an odd length: exactly those three bytes.
  const Bytes around = board.eeprom(0x60, 5);
  buffer[0x61] = 0xA1;
  buffer[0x62] = 0xA2;
  buffer[0x63] = 0xA3;
  tool.offsetText = "61";
  tool.lengthText = "3";
  EXPECT_EQ(tool.readWrite(), Outcome::Done);
  EXPECT_EQ(board.eeprom(0x60, 5), (Bytes{around[0], 0xA1, 0xA2, 0xA3, around[4]}));

  const Bytes before = board.eeprom(0, 1024);
  const std::pair<const char*, const char*> refused[] = {{"10", "63"}, {"10", "0"}, {"1F0", "20"}, {"10", "x"}};
  for (auto [offset, length] : refused) {
    tool.offsetText = offset;
    tool.lengthText = length;
    EXPECT_EQ(tool.readWrite(), Outcome::Refused);
  }
  EXPECT_EQ(board.eeprom(0, 1024), before);
  const auto messages = board.prompt.messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], "Write EEPROM Data length must <= 62");
  EXPECT_EQ(messages[1], "Data length > 0");
  EXPECT_EQ(messages[2], "Offset 0x1F0 with 20 bytes lies outside the 512-byte hex view!");

  // A block read from above 512 fills the page buffer to its end, no further.
  tool.direction = Direction::Read;
  tool.offsetText = "300";
  EXPECT_EQ(tool.readWrite(), Outcome::Done);
  EXPECT_EQ(Bytes(buffer.begin() + 0x300, buffer.end()), board.eeprom(0x300, 0x100));
  tool.offsetText = "400";
  EXPECT_EQ(tool.readWrite(), Outcome::Refused);
}

TEST(EepromTool, TheMacAddressIsExactlyTwelveHexDigits) {
  Eeprom board;
  EepromTool& tool = board.tool;
  EXPECT_EQ(tool.activate(), Outcome::Done);
  EXPECT_EQ(tool.macText.substr(0, 6), "024B51");
  const Bytes before = board.eeprom(0, 16);
  for (const char* text : {"0011223344", "00112233445G", "0011223344556"}) {
    tool.macText = text;
    EXPECT_EQ(tool.setMac(), Outcome::Refused) << text;
  }
  EXPECT_EQ(board.eeprom(0, 16), before);
  tool.macText = " 0A1B2C3D4E5F ";
  EXPECT_EQ(tool.setMac(), Outcome::Done);
  EXPECT_EQ(board.eeprom(4, 6), (Bytes{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
}

TEST(EepromTool, ABinSavedInEachModeLoadsBackToIdenticalContent) {
  Eeprom board;
  EepromTool& tool = board.tool;
  const std::string saved = board.folder.file("eeprom.bin");
  ASSERT_EQ(tool.saveTo(saved), Outcome::Done);
  EXPECT_EQ(ReadAll(saved), board.eeprom(0, 1024));
  tool.macText = "001122334455";
  tool.setMac();
  ASSERT_EQ(tool.loadFrom(saved), Outcome::Done);
  EXPECT_EQ(board.eeprom(0, 1024), ReadAll(saved));

  // RAW: the EEPROM's 8 KB.
  tool.rawMode = true;
  std::size_t lastDone = 0;
  tool.progress = [&](std::size_t done, std::size_t total) {
    EXPECT_EQ(total, 8192u);
    lastDone = done;
  };
  const std::string raw = board.folder.file("raw.bin");
  ASSERT_EQ(tool.saveTo(raw), Outcome::Done);
  EXPECT_EQ(ReadAll(raw), board.bench.chip().eepromBytes());
  Bytes pattern(8192);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i * 7);
  WriteAll(board.folder.file("pattern.bin"), pattern);
  ASSERT_EQ(tool.loadFrom(board.folder.file("pattern.bin")), Outcome::Done);
  EXPECT_EQ(lastDone, 8192u);
  EXPECT_EQ(board.bench.chip().eepromBytes(), pattern);
  ASSERT_EQ(tool.loadFrom(raw), Outcome::Done);
  EXPECT_EQ(ReadAll(raw), board.bench.chip().eepromBytes());

  // The buffer image: what the file held comes back into it.
  tool.rawMode = false;
  tool.progress = {};
  tool.setBufferMode(true);
  board.memoryMode.eepromImage.fill(0x3C);
  ASSERT_EQ(tool.saveTo(saved), Outcome::Done);
  EXPECT_EQ(ReadAll(saved), Bytes(1024, 0x3C));
  board.memoryMode.eepromImage.fill(0);
  ASSERT_EQ(tool.loadFrom(saved), Outcome::Done);
  EXPECT_EQ(Bytes(board.memoryMode.eepromImage.begin(), board.memoryMode.eepromImage.begin() + 512), Bytes(512, 0x3C));
  EXPECT_TRUE(board.prompt.messages().empty());
}

TEST(EepromTool, AShortFileIsRefusedWithBothLengthsAndAFailedRawReadLeavesTheOldFile) {
  Eeprom board;
  EepromTool& tool = board.tool;
  const Bytes before = board.bench.chip().eepromBytes();
  const std::string shortFile = board.folder.file("short.bin");
  WriteAll(shortFile, Bytes(300, 0x11));
  EXPECT_EQ(tool.loadFrom(shortFile), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(),
            "The file " + shortFile + " holds 300 bytes; a configuration image must hold 512. Nothing was written.");
  tool.rawMode = true;
  WriteAll(shortFile, Bytes(8000, 0x11));
  EXPECT_EQ(tool.loadFrom(shortFile), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(),
            "The file " + shortFile + " holds 8000 bytes; a RAW image must hold 8192. Nothing was written.");
  EXPECT_EQ(tool.loadFrom(board.folder.file("missing.bin")), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "EEPROM Register File not found!");
  EXPECT_EQ(board.bench.chip().eepromBytes(), before);

  // The chip is pulled: the old file stays as it was, and nothing else is left behind.
  WriteAll(shortFile, Bytes{1, 2, 3});
  board.bench.unplug();
  EXPECT_EQ(tool.saveTo(shortFile), Outcome::Failed);
  EXPECT_EQ(board.lastMessage(), "EEPROM_READ(ReadEEPROM) DeviceIoControl failed!  Error = 1167");
  EXPECT_EQ(ReadAll(shortFile), (Bytes{1, 2, 3}));
  EXPECT_TRUE(board.folder.holdsOnly("short.bin"));
}

TEST(EepromTool, APipeOrFolderIsRefusedBeforeTheChipIsAskedAnything) {
  device::testing::TestBed bed;
  testing::TestFolder folder;
  EepromTool tool(bed.configMemory());
  const std::string pipe = folder.file("pipe.bin");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  const std::string dir = folder.file("dir.bin");
  std::filesystem::create_directory(dir);
  for (const bool raw : {false, true}) {
    tool.rawMode = raw;
    EXPECT_EQ(tool.saveTo(pipe), Outcome::Refused);
    EXPECT_EQ(bed.prompt.messages().back(), std::string(raw ? "The RAW image" : "The image") +
                                                " was not saved: cannot save to " + pipe +
                                                ": it is a pipe, not a regular file");
    EXPECT_EQ(tool.loadFrom(pipe), Outcome::Refused);
    EXPECT_EQ(bed.prompt.messages().back(),
              "The file " + pipe + " is a pipe, not a regular file. Nothing was written.");
    EXPECT_EQ(tool.loadFrom(dir), Outcome::Refused);
    EXPECT_EQ(bed.prompt.messages().back(), "The file " + dir + " is a folder. Nothing was written.");
  }
  EXPECT_TRUE(bed.chip.calls().empty());
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}

TEST(EepromTool, TheRawRecordsAreOffsetLengthAndData) {
  device::testing::TestBed bed;
  testing::TestFolder folder;
  EepromTool tool(bed.configMemory());
  tool.rawMode = true;
  Bytes image(8192);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i % 251);
  testing::WriteAll(folder.file("raw.bin"), image);
  for (int chunk = 0; chunk < 64; ++chunk) bed.chip.script(ioctl::VQ_OID_VENDOR_EEPROM_WRITE, ERROR_SUCCESS);
  bed.chip.failAlways(ioctl::VQ_OID_USB_VENDOR_EEPROM_READ, ERROR_GEN_FAILURE);  // the Read All after it
  tool.loadFrom(folder.file("raw.bin"));
  const auto writes = bed.chip.callsOf(ioctl::VQ_OID_VENDOR_EEPROM_WRITE);
  ASSERT_EQ(writes.size(), 64u);
  // Offset 128, 128 bytes, the file's bytes 128 to 255.
  EXPECT_EQ(Bytes(writes[1].input.begin(), writes[1].input.begin() + 4), (Bytes{0x80, 0x00, 0x80, 0x00}));
  EXPECT_EQ(Bytes(writes[1].input.begin() + 4, writes[1].input.end()), Bytes(image.begin() + 128, image.begin() + 256));
  EXPECT_EQ(writes[63].input[0], 0x80);
  EXPECT_EQ(writes[63].input[1], 0x1F);

  // A RAW save asks for the same pieces: offset, length.
  bed.chip.script(ioctl::VQ_OID_VENDOR_EEPROM_READ, ERROR_SUCCESS, Bytes(128, 0x11));
  bed.chip.script(ioctl::VQ_OID_VENDOR_EEPROM_READ, ERROR_GEN_FAILURE);
  EXPECT_EQ(tool.saveTo(folder.file("saved.bin")), Outcome::Failed);
  const auto reads = bed.chip.callsOf(ioctl::VQ_OID_VENDOR_EEPROM_READ);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].input, (Bytes{0x80, 0x00, 0x80, 0x00}));
  EXPECT_EQ(reads[1].outputSize, 128u);
  EXPECT_TRUE(folder.holdsOnly("raw.bin"));
}

TEST(EepromTool, KeepCurrentTxPowerKeepsTheMacFrequencyOffsetAndPowerTablesWhole) {
  Eeprom board;
  EepromTool& tool = board.tool;
  const Bytes before = board.eeprom(0, 512);
  const std::string file = board.folder.file("other.bin");
  WriteAll(file, Bytes(512, 0x11));
  tool.keepTxPower = true;
  ASSERT_EQ(tool.loadFrom(file), Outcome::Done);
  const Bytes after = board.eeprom(0, 512);
  for (std::size_t at = 0; at < 512; ++at) {
    const bool kept = (at >= 0x04 && at <= 0x09) || at == 0x3A || (at >= 0x52 && at <= 0x6D) ||
                      (at >= 0x78 && at <= 0x9B) || (at >= 0xA6 && at <= 0xC9);
    EXPECT_EQ(after[at], kept ? before[at] : 0x11) << "offset " << at;
  }
}

TEST(EepromTool, TheLedCombosDecodeTheWordsAndSetWritesThemEncoded) {
  Eeprom board;
  EepromTool& tool = board.tool;
  tool.activate();
  EXPECT_EQ(tool.leds, LedSelections{});  // nothing decodes before a level is chosen
  ASSERT_EQ(tool.chooseLedActive(LedActive::High), Outcome::Done);
  EXPECT_EQ(tool.leds, (LedSelections{1, 1, 0, 1, 0, 1, 1, 0, 2, 0, 8, 8}));
  tool.chooseLedActive(LedActive::Low);
  tool.leds[0] = 2;  // LED G radio off: "Slow blink", lit (bit 0 clear with "Low")
  tool.leds[11] = 9;  // LED ACT link to A: "Solid on,Blink data/mgmt/beacon": 3 at bits 12-14, lit
  ASSERT_EQ(tool.setLeds(), Outcome::Done);
  // 0x3C 5555 -> 5556; 0x3E AAD9 -> B AD9 with 3 at bits 12-14; 0x40 EDD8 -> bit 14 clear: ADD8.
  EXPECT_EQ(board.eeprom(0x3C, 6), (Bytes{0x56, 0x55, 0xD9, 0xBA, 0xD8, 0xAD}));
}

// The eFuse: forecast, burn and free count agree; a refused or cancelled
// write changes no byte of the eFuse.
TEST(EepromToolOnEfuse, AnImageLoadBurnsWhatItsForecastSaysAndTheFreeCountAgrees) {
  Efuse board;
  EepromTool& tool = board.tool;
  ASSERT_EQ(tool.activate(), Outcome::Done);
  EXPECT_EQ(tool.freeBlockText(), "21 / 29");
  EXPECT_EQ(tool.nvmType(), "E-fuse");
  const Bytes current = board.logical();
  Bytes target = current;
  target[0x34] |= 0x01;                                  // block 3: adds a bit, in place
  target[0x50] = static_cast<std::uint8_t>(current[0x50] & ~0x02);  // block 5: clears a bit, moves
  for (std::size_t i = 0x80; i < 0x90; ++i) target[i] = static_cast<std::uint8_t>(i);  // block 8: new
  const std::string file = board.folder.file("target.bin");
  WriteAll(file, target);

  device::EfuseWritePlan plan;
  ASSERT_EQ(tool.planEfuseLoad(file, plan), Outcome::Done);
  ASSERT_EQ(plan.blocks.size(), 3u);
  EXPECT_EQ(plan.blocks[0].logicalBlock, 3);
  EXPECT_TRUE(plan.blocks[0].inPlace);
  EXPECT_EQ(plan.blocks[1].logicalBlock, 5);
  EXPECT_EQ(plan.blocks[2].logicalBlock, 8);
  EXPECT_EQ(plan.freeBefore, 21);
  EXPECT_EQ(EfuseForecast(plan), 19);
  // The image forecast over the whole content says the same.
  EXPECT_EQ(device::EfuseImageForecast(board.configMemory(), std::span<const std::uint8_t, 512>(current.data(), 512),
                                       std::span<const std::uint8_t, 512>(target.data(), 512)),
            19);
  EXPECT_EQ(board.burnt(), Efuse().burnt());  // planning burns nothing

  std::size_t blocksDone = 0;
  tool.progress = [&](std::size_t done, std::size_t total) {
    EXPECT_EQ(total, 3u);
    blocksDone = done;
  };
  board.prompt.answerOkCancel(true);
  ASSERT_EQ(tool.loadFrom(file), Outcome::Done);
  EXPECT_EQ(board.questions(),
            std::vector<std::string>{"Free block before write=21, after write=19, are you sure to write?"});
  EXPECT_EQ(blocksDone, 3u);
  EXPECT_EQ(device::EfuseFreeBlockCount(board.configMemory()), 19);
  EXPECT_EQ(tool.freeBlockText(), "19 / 29");
  EXPECT_EQ(board.logical(), target);
  EXPECT_EQ(Bytes(tool.pageBuffer().begin(), tool.pageBuffer().begin() + 512), target);

  // The same file again changes nothing: no question, no block.
  ASSERT_EQ(tool.loadFrom(file), Outcome::Done);
  EXPECT_EQ(board.questions().size(), 1u);
  EXPECT_EQ(device::EfuseFreeBlockCount(board.configMemory()), 19);
  EXPECT_TRUE(board.prompt.messages().empty());
}

TEST(EepromToolOnEfuse, ALoadTheFreeBlocksCannotHoldOrThatIsCancelledChangesNoByte) {
  std::array<std::uint8_t, 512> nearlyFull{};
  for (std::size_t map = 482; map <= 508; ++map) nearlyFull[map] = 0xFF;  // two blocks left
  Efuse board(nearlyFull);
  EepromTool& tool = board.tool;
  Bytes target(512, 0xFF);
  for (std::size_t i = 0; i < 48; ++i) target[i] = 0x5A;  // blocks 0, 1 and 2
  const std::string file = board.folder.file("three.bin");
  WriteAll(file, target);
  EXPECT_EQ(tool.loadFrom(file), Outcome::Refused);
  EXPECT_EQ(board.prompt.messages(),
            std::vector<std::string>{" eFuse write fail (overflow)!, Free block before write=2, after write=-1"});
  EXPECT_TRUE(board.questions().empty());
  EXPECT_EQ(board.burnt(), nearlyFull);

  // Two blocks fit; the answer is Cancel.
  std::fill(target.begin() + 32, target.begin() + 48, std::uint8_t{0xFF});
  WriteAll(file, target);
  board.prompt.answerOkCancel(false);
  EXPECT_EQ(tool.loadFrom(file), Outcome::Cancelled);
  EXPECT_EQ(board.questions().back(), "Free block before write=2, after write=0, are you sure to write?");
  EXPECT_EQ(board.burnt(), nearlyFull);
}

TEST(EepromToolOnEfuse, SingleBytesForecastTheirCostAndAskUnlessTheWarningIsOff) {
  Efuse board;
  EepromTool& tool = board.tool;
  tool.direction = Direction::Write;
  tool.offsetText = "34";  // 0x12 on the eFuse board
  tool.valueText = "13";   // adds bit 0
  board.prompt.answerOkCancel(true);
  EXPECT_EQ(tool.readWrite(), Outcome::Done);
  tool.valueText = "11";  // clears bit 1
  board.prompt.answerOkCancel(false);
  EXPECT_EQ(tool.readWrite(), Outcome::Cancelled);
  EXPECT_EQ(board.questions(),
            (std::vector<std::string>{"Free block before write=21, after write=21, are you sure to write?",
                                      "Free block before write=21, after write=20, are you sure to write?"}));
  EXPECT_EQ(board.logical()[0x34], 0x13);

  // "Disable Write Warning": single bytes go without a question, blocks still ask.
  tool.setWriteWarningDisabled(true);
  EXPECT_EQ(tool.readWrite(), Outcome::Done);
  EXPECT_EQ(board.logical()[0x34], 0x11);
  EXPECT_EQ(tool.freeBlocks(), 20);
  tool.valueMode = false;
  tool.lengthText = "2";
  EXPECT_EQ(tool.readWrite(), Outcome::Cancelled);  // unanswered: Cancel
  EXPECT_EQ(board.questions().size(), 3u);
}

TEST(EepromToolOnEfuse, SavesInBothViewsAndThePhysicalViewNeverWrites) {
  Efuse board;
  EepromTool& tool = board.tool;
  const auto burnt = board.burnt();
  const std::string logical = board.folder.file("logical.bin");
  ASSERT_EQ(tool.saveTo(logical), Outcome::Done);
  const Bytes saved = ReadAll(logical);
  ASSERT_EQ(saved.size(), 1024u);
  EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 512), board.logical());
  EXPECT_EQ(Bytes(saved.begin() + 512, saved.end()), Bytes(512, 0xFF));  // no block maps there
  ASSERT_EQ(tool.loadFrom(logical), Outcome::Done);                    // identical: nothing to burn
  EXPECT_TRUE(board.questions().empty());

  ASSERT_EQ(tool.setView(EfuseView::Physical), Outcome::Done);
  const std::string physical = board.folder.file("physical.bin");
  ASSERT_EQ(tool.saveTo(physical), Outcome::Done);
  const Bytes raw = ReadAll(physical);
  ASSERT_EQ(raw.size(), 768u);
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 512), Bytes(burnt.begin(), burnt.end()));
  EXPECT_EQ(Bytes(raw.begin() + 512, raw.end()), Bytes(256, 0x00));  // no fuses there
  EXPECT_EQ(tool.loadFrom(logical), Outcome::Refused);
  tool.keepTxPower = true;
  EXPECT_EQ(tool.loadFrom(logical), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "Not supported in eFuse Mode");
  EXPECT_EQ(board.burnt(), burnt);
}

}  // namespace
}  // namespace kqa::nvm
