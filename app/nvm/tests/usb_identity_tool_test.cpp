// The EEPROM2 page's logic on the emulated chip. The EEPROM board's factory
// string area: table 00 04 12 2C, "Torvek" at 0x304 (length 14),
// "802.11n WLAN" at 0x312 (26), "1.0" at 0x32C (8); identity 09 12 01 00 00
// 01 01 02 00 01 at 0x208.
#include <gtest/gtest.h>

#include "app/nvm/tests/nvm_test_support.h"
#include "app/nvm/usb_identity_tool.h"

namespace kqa::nvm {
namespace {

using page::Outcome;
using testing::Board;
using testing::Bytes;

struct Eeprom : Board {
  Eeprom() { EXPECT_EQ(tool.activate(), Outcome::Done); }
  UsbIdentityTool tool{configMemory()};
};

std::vector<std::string> Texts(const UsbIdentityTool& tool) {
  std::vector<std::string> texts;
  for (const StoredString& string : tool.strings()) texts.push_back(string.text);
  return texts;
}

TEST(UsbIdentityTool, TheFactoryIdentityAndStringsAsTheEepromHoldsThem) {
  Eeprom board;
  const UsbIdentityTool& tool = board.tool;
  EXPECT_EQ(tool.strings(), (std::vector<StoredString>{{1, 0x04, 14, "Torvek"},
                                                       {2, 0x12, 26, "802.11n WLAN"},
                                                       {3, 0x2C, 8, "1.0"}}));
  EXPECT_EQ(tool.freeStringSpace(), 256u - 0x34);
  EXPECT_EQ(tool.wlan.vendorText, "1209");
  EXPECT_EQ(tool.wlan.productText, "0001");
  EXPECT_EQ(tool.wlan.releaseText, "0100");
  EXPECT_EQ(tool.wlan.manufacturer, 1);
  EXPECT_EQ(tool.wlan.product, 2);
  EXPECT_EQ(tool.wlan.serial, 0);
  EXPECT_EQ(tool.flash.vendorText, "FFFF");
  EXPECT_FALSE(tool.serialNumberEnabled());
}

TEST(UsbIdentityTool, StringsGoOneAfterAnotherWithTheirIndexSlotsUpToTen) {
  Eeprom board;
  UsbIdentityTool& tool = board.tool;
  ASSERT_EQ(tool.clearStrings(), Outcome::Done);
  EXPECT_TRUE(tool.strings().empty());
  EXPECT_EQ(board.eeprom(0x2F0, 16), (Bytes{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(board.eeprom(0x20E, 4), (Bytes{0x00, 0x00, 0x00, 0x01}));  // 0x211 stays

  tool.stringText = "Torvek";
  ASSERT_EQ(tool.addString(), Outcome::Done);
  EXPECT_EQ(board.eeprom(0x304, 14), (Bytes{0x0E, 0x03, 'T', 0, 'o', 0, 'r', 0, 'v', 0, 'e', 0, 'k', 0}));
  EXPECT_EQ(board.eeprom(0x2F1, 1), Bytes{0x04});
  EXPECT_EQ(board.eeprom(0x20E, 1), Bytes{0x01});
  EXPECT_TRUE(tool.stringText.empty());

  for (int k = 2; k <= 10; ++k) {
    tool.stringText = "s" + std::to_string(k);
    ASSERT_EQ(tool.addString(), Outcome::Done);
  }
  // Each slot holds its string's number.
  const std::pair<std::uint16_t, std::uint8_t> slots[] = {{0x20F, 2}, {0x210, 3}, {0x222, 4}, {0x22D, 5},
                                                           {0x28E, 6}, {0x28F, 7}, {0x290, 8}, {0x2A2, 9},
                                                           {0x2AD, 10}};
  for (auto [at, number] : slots) EXPECT_EQ(board.eeprom(at, 1), Bytes{number}) << at;
  EXPECT_EQ(tool.strings().back().offset, 0x12 + 8 * 6);  // "s2".."s9" take 6 bytes, "s10" 8

  const Bytes before = board.eeprom(0x200, 0x200);
  tool.stringText = "eleven";
  EXPECT_EQ(tool.addString(), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "String Descriptor's count can't more than 10 !");
  EXPECT_EQ(board.eeprom(0x200, 0x200), before);
}

TEST(UsbIdentityTool, AStringMustFitTheSpaceLeftAndItsNeighbour) {
  Eeprom board;
  UsbIdentityTool& tool = board.tool;
  tool.clearStrings();
  tool.stringText = std::string(63, 'x');
  EXPECT_EQ(tool.addString(), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "A string descriptor holds 62 characters at most; this one has 63.");
  tool.stringText = std::string(62, 'a');  // 126 bytes
  ASSERT_EQ(tool.addString(), Outcome::Done);
  tool.stringText = std::string(12, 'b');  // 26 bytes
  ASSERT_EQ(tool.addString(), Outcome::Done);
  ASSERT_EQ(tool.freeStringSpace(), 100u);
  tool.stringText = std::string(50, 'c');  // 102 bytes
  EXPECT_EQ(tool.addString(), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "String Descriptor's len is too long !");
  EXPECT_EQ(tool.freeStringSpace(), 100u);
  tool.stringText = std::string(49, 'c');  // 100 bytes
  EXPECT_EQ(tool.addString(), Outcome::Done);
  EXPECT_EQ(tool.freeStringSpace(), 0u);

  // Replacing: a string may grow only up to the next one.
  ASSERT_EQ(tool.defaultStrings(), Outcome::Done);
  EXPECT_EQ(Texts(tool), (std::vector<std::string>{"Torvek", "802.11n WLAN", "1.0"}));
  tool.stringText = "TorvekX";
  EXPECT_EQ(tool.replaceString(0), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "String Descriptor len can't more than 6");
  tool.stringText = "Tor";
  ASSERT_EQ(tool.replaceString(0), Outcome::Done);
  EXPECT_EQ(board.eeprom(0x304, 15),
            (Bytes{0x08, 0x03, 'T', 0, 'o', 0, 'r', 0, 0, 0, 0, 0, 0, 0, 0x1A}));
  tool.stringText = std::string(62, 'z');  // the last one may take the rest
  ASSERT_EQ(tool.replaceString(2), Outcome::Done);
  EXPECT_EQ(Texts(tool), (std::vector<std::string>{"Tor", "802.11n WLAN", std::string(62, 'z')}));
  EXPECT_EQ(tool.replaceString(3), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "No Selected Item");
  tool.stringText.clear();
  const Bytes strings = board.eeprom(0x2F0, 0x110);
  EXPECT_EQ(tool.addString(), Outcome::Refused);
  EXPECT_EQ(tool.replaceString(0), Outcome::Refused);
  EXPECT_EQ(board.lastMessage(), "The string is empty: enter its text first.");
  EXPECT_EQ(board.eeprom(0x2F0, 0x110), strings);
}

TEST(UsbIdentityTool, TheIdentityAndTextsAreCheckedWholeAndTheChipPresentsThemAfterAPowerCycle) {
  Eeprom board;
  UsbIdentityTool& tool = board.tool;
  const Bytes before = board.eeprom(0x200, 0x100);
  tool.wlan.vendorText = "ABCD";
  tool.wlan.productText = "1234";
  tool.wlan.releaseText = "0200";
  tool.wlan.manufacturer = 2;
  tool.wlan.product = 1;
  tool.wlan.serial.reset();  // no choice: the memory's bytes stay
  tool.withFlash = true;
  tool.vendorInformation = "TOOLONGXX";
  EXPECT_EQ(tool.editIdentity(), Outcome::Refused);
  tool.vendorInformation = "Torvek";
  tool.flash.vendorText = "1G09";
  EXPECT_EQ(tool.editIdentity(), Outcome::Refused);
  tool.flash.vendorText = "12345";
  EXPECT_EQ(tool.editIdentity(), Outcome::Refused);
  EXPECT_EQ(board.eeprom(0x200, 0x100), before);

  tool.flash = {"1209", "0002", "0100", 1, 2, 0};
  tool.productName = "Flash disk";
  tool.productRevision = "1.0";
  ASSERT_EQ(tool.editIdentity(), Outcome::Done);
  EXPECT_EQ(board.eeprom(0x208, 10), (Bytes{0xCD, 0xAB, 0x34, 0x12, 0x00, 0x02, 0x02, 0x01, 0x00, 0x01}));
  EXPECT_EQ(board.eeprom(0x288, 10), (Bytes{0x09, 0x12, 0x02, 0x00, 0x00, 0x01, 0x01, 0x02, 0x00, 0x01}));
  EXPECT_EQ(board.eeprom(0x260, 28), (Bytes{'T', 'o', 'r', 'v', 'e', 'k', 0, 0, 'F', 'l', 'a', 's', 'h', ' ',
                                            'd', 'i', 's', 'k', 0, 0, 0, 0, 0, 0, '1', '.', '0', 0}));
  board.bench.unplug();
  board.bench.replug();
  const chip::UsbIdentity presented = board.bench.chip().usbIdentity();
  EXPECT_EQ(presented.vendorId, 0xABCD);
  EXPECT_EQ(presented.productId, 0x1234);
  EXPECT_EQ(presented.manufacturerIndex, 2);
}

TEST(UsbIdentityTool, TheSerialNumberSwitchWritesOnlyItsIndexByte) {
  Eeprom board;
  UsbIdentityTool& tool = board.tool;
  ASSERT_EQ(tool.toggleSerialNumber(), Outcome::Done);
  EXPECT_TRUE(tool.serialNumberEnabled());
  EXPECT_EQ(board.eeprom(0x20E, 4), (Bytes{0x01, 0x02, 0x03, 0x01}));
  ASSERT_EQ(tool.setSerialNumber(false), Outcome::Done);
  EXPECT_EQ(board.eeprom(0x20E, 4), (Bytes{0x01, 0x02, 0x00, 0x01}));
}

TEST(UsbIdentityTool, OnTheEfuseEveryActionIsRefusedAndNothingIsBurnt) {
  Board board(chip::Board::Efuse);
  UsbIdentityTool tool(board.configMemory());
  const auto burnt = board.burnt();
  EXPECT_EQ(tool.activate(), Outcome::Refused);
  EXPECT_EQ(tool.unreachableReason(),
            "The USB identity and the string descriptors lie at 0x208-0x3FF, beyond the 512 bytes of the "
            "eFuse: this page cannot read or write them there.");
  tool.stringText = "x";
  tool.wlan = {"1209", "0001", "0100", 1, 2, 0};
  EXPECT_EQ(tool.addString(), Outcome::Refused);
  EXPECT_EQ(tool.editIdentity(), Outcome::Refused);
  EXPECT_EQ(tool.setSerialNumber(true), Outcome::Refused);
  EXPECT_EQ(tool.defaultStrings(), Outcome::Refused);
  EXPECT_EQ(board.prompt.messages().size(), 4u);
  EXPECT_TRUE(board.questions().empty());
  EXPECT_EQ(board.burnt(), burnt);
}

}  // namespace
}  // namespace kqa::nvm
