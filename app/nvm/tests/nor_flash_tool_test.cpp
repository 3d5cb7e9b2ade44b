// The NOR-Flash page's logic: its requests pinned on the fake device, its
// images on the emulated chip's 4 MB flash.
#include <gtest/gtest.h>

#include "app/device/tests/fake_device.h"
#include "app/nvm/nor_flash_tool.h"
#include "app/nvm/tests/nvm_test_support.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::nvm {
namespace {

using namespace kqa::ioctl;
using page::Outcome;
using testing::Bytes;
using testing::ReadAll;
using testing::WriteAll;

TEST(NorFlashTool, TheRequestsCarryTheirArgumentsAndAFailureStopsTheRunOnce) {
  device::testing::TestBed bed;
  NorFlashTool tool(bed.device);
  bed.chip.script(VQ_OID_USB_VENDOR_ERASE_FLASH, ERROR_SUCCESS);
  tool.blockText = "1F";
  EXPECT_EQ(tool.eraseBlock(), Outcome::Done);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_ERASE_FLASH)[0].input, (Bytes{0x00, 0x00, 0x1F, 0x00}));

  tool.countText = "0";
  EXPECT_EQ(tool.eraseBlocks(), Outcome::Done);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_ERASE_FLASH).size(), 1u);
  EXPECT_EQ(bed.prompt.messages(), (std::vector<std::string>{"Erase Flase Data ... OK!", "Erase ALL Flash Data ... OK!"}));

  // Block 1 fails: one message, block 2 is not sent, and no "OK!".
  bed.prompt.clear();
  bed.chip.script(VQ_OID_USB_VENDOR_ERASE_FLASH, ERROR_SUCCESS);
  bed.chip.script(VQ_OID_USB_VENDOR_ERASE_FLASH, ERROR_GEN_FAILURE);
  tool.countText = "3";
  EXPECT_EQ(tool.eraseBlocks(), Outcome::Failed);
  const auto erases = bed.chip.callsOf(VQ_OID_USB_VENDOR_ERASE_FLASH);
  ASSERT_EQ(erases.size(), 3u);
  EXPECT_EQ(erases[2].input, (Bytes{0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"Erase Flash = 1 DeviceIoControl failed!  Error = 31"});

  bed.chip.script(VQ_OID_USB_SET_FLASH_WIDTH, ERROR_SUCCESS);
  bed.chip.script(VQ_OID_USB_VENDOR_SELECT_FLASH, ERROR_SUCCESS);
  EXPECT_EQ(tool.selectWidth(FlashWidth::Bits8Or16), Outcome::Done);
  EXPECT_EQ(tool.selectFirmwareSource(false), Outcome::Done);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_SET_FLASH_WIDTH)[0].input, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_SELECT_FLASH)[0].input, (Bytes{1, 0}));

  // Typos never reach the chip.
  const std::size_t calls = bed.chip.calls().size();
  tool.blockText = "1G";
  tool.countText = "-3";
  tool.sizeText = "0x8";
  EXPECT_EQ(tool.eraseBlock(), Outcome::Refused);
  EXPECT_EQ(tool.eraseBlocks(), Outcome::Refused);
  EXPECT_EQ(tool.saveTo("/nonexistent/x.bin"), Outcome::Refused);
  EXPECT_EQ(bed.chip.calls().size(), calls);
}

TEST(NorFlashTool, AnImageLoadsAndSavesUnitByUnitAndAShortFileIsPaddedAsErasedFlash) {
  testing::Board board;
  NorFlashTool tool(board.device);
  Bytes image(8 * kFlashUnit);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + i / 4096);
  const std::string file = board.folder.file("flash.bin");
  WriteAll(file, image);
  std::pair<std::size_t, std::size_t> last{};
  tool.loadProgress = [&](std::size_t done, std::size_t total) { last = {done, total}; };
  ASSERT_EQ(tool.loadFrom(file), Outcome::Done);
  EXPECT_EQ(last, (std::pair<std::size_t, std::size_t>{8, 8}));
  EXPECT_EQ(board.bench.chip().flashBytes(0, image.size()), image);
  EXPECT_EQ(board.lastMessage(), "Load Flash Data from File ... OK!");

  const std::string saved = board.folder.file("saved");
  tool.saveProgress = tool.loadProgress;
  ASSERT_EQ(tool.saveFile(), Outcome::Cancelled);  // no file chosen
  board.prompt.answerFile(saved);
  ASSERT_EQ(tool.saveFile(), Outcome::Done);
  EXPECT_EQ(ReadAll(saved + ".bin"), image);
  EXPECT_EQ(board.lastMessage(), "Save Flash Data to File ... OK!");

  // Erase block 0, then load 5000 bytes as two units.
  tool.blockText = "0";
  ASSERT_EQ(tool.eraseBlock(), Outcome::Done);
  EXPECT_EQ(board.bench.chip().flashBytes(0, image.size()), Bytes(image.size(), 0xFF));
  WriteAll(file, Bytes(image.begin(), image.begin() + 5000));
  tool.sizeText = "2";
  ASSERT_EQ(tool.loadFrom(file), Outcome::Done);
  Bytes expected(2 * kFlashUnit, 0xFF);
  std::copy(image.begin(), image.begin() + 5000, expected.begin());
  EXPECT_EQ(board.bench.chip().flashBytes(0, expected.size()), expected);
  EXPECT_EQ(board.lastMessage(),
            "Load Flash Data from File ... OK!\nThe file holds 5000 bytes, fewer than the 2 units of 4 KB "
            "(8192 bytes): the last 3192 bytes were written as 0xFF (erased flash).");
  EXPECT_EQ(tool.loadFrom(board.folder.file("missing.bin")), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "N-Type Flash Register File not found!");
}

TEST(NorFlashTool, UnitsAndBlocksPastTheFourMegabytesAreRefusedBeforeTheChip) {
  testing::Board board;
  const std::string file = board.folder.file("all.bin");
  // Erases one block, then blocks 0 to count - 1, saves and loads `units`.
  const auto run = [&](NorFlashTool& tool, const char* block, const char* count, const char* units) {
    tool.blockText = block;
    tool.countText = count;
    tool.sizeText = units;
    return std::vector<Outcome>{tool.eraseBlock(), tool.eraseBlocks(), tool.saveTo(file), tool.loadFrom(file)};
  };
  // The last block and the last unit are the flash's own.
  NorFlashTool tool(board.device);
  EXPECT_EQ(run(tool, "3F", "64", "1024"), std::vector<Outcome>(4, Outcome::Done));
  EXPECT_EQ(ReadAll(file), Bytes(0x400000, 0xFF));

  // One past them is refused with the limit, and never reaches the chip.
  device::testing::TestBed bed;
  NorFlashTool refusing(bed.device);
  EXPECT_EQ(run(refusing, "40", "65", "1025"), std::vector<Outcome>(4, Outcome::Refused));
  const std::string units = "Flash Size: 1025 units of 4 KB is more than the flash holds; it holds 1024 units (4 MB).";
  EXPECT_EQ(bed.prompt.messages(),
            (std::vector<std::string>{
                "BlockNo.-16: block 40 is past the flash; it holds blocks 0 to 3F (4 MB).",
                "TotalBlockNo-10: 65 blocks is more than the flash holds; it holds 64 blocks of 64 KB (4 MB).",
                units, units}));
  EXPECT_TRUE(bed.chip.calls().empty());
  EXPECT_EQ(ReadAll(file).size(), 0x400000u);  // the refused save left the file alone
}

TEST(NorFlashTool, ASaveWhoseReadFailsLeavesThePreviousFileAsItWas) {
  device::testing::TestBed bed;
  testing::TestFolder folder;
  NorFlashTool tool(bed.device);
  const std::string file = folder.file("flash.bin");
  WriteAll(file, Bytes{1, 2, 3});
  for (int unit = 0; unit < 3; ++unit)
    bed.chip.script(VQ_OID_USB_VENDOR_READ_FLASH, ERROR_SUCCESS, Bytes(kFlashUnit, 0x5A));
  bed.chip.script(VQ_OID_USB_VENDOR_READ_FLASH, ERROR_GEN_FAILURE);
  EXPECT_EQ(tool.saveTo(file), Outcome::Failed);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_READ_FLASH).size(), 4u);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_READ_FLASH)[3].input,
            (Bytes{0x00, 0x30, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00}));
  EXPECT_EQ(bed.prompt.messages(),
            std::vector<std::string>{"Load NType-Flash = 3  VQ_OID_USB_VENDOR_READ_FLASH DeviceIoControl "
                                     "failed!  Error = 31\n" + file + " was not written: unit 3 of 8 could not be read."});
  EXPECT_EQ(ReadAll(file), (Bytes{1, 2, 3}));
  EXPECT_TRUE(folder.holdsOnly("flash.bin"));
}

}  // namespace
}  // namespace kqa::nvm
