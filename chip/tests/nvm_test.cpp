#include <gtest/gtest.h>

#include <vector>

#include "chip/factory_image.h"
#include "chip/tests/test_host.h"

namespace kqa::chip {
namespace {

using usb::TransferStatus;

class NvmTest : public testing::ChipTest {
 protected:
  std::uint16_t eepromWord(std::uint16_t offset, std::uint8_t request = 0x09) {
    std::uint8_t data[2] = {};
    EXPECT_TRUE(host.vendorIn(request, 0, offset, data).ok());
    return static_cast<std::uint16_t>(data[0] | data[1] << 8);
  }
  void writeEepromWord(std::uint16_t offset, std::uint16_t value, std::uint8_t request = 0x08) {
    const std::uint8_t data[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    EXPECT_TRUE(host.vendorOut(request, 0, offset, data).ok());
  }
  std::vector<std::uint8_t> readFlash(std::uint32_t address, std::size_t length) {
    std::vector<std::uint8_t> data(length);
    EXPECT_TRUE(host.vendorIn(0x0F, static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(address >> 16), data).ok());
    return data;
  }
  void writeFlash(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    EXPECT_TRUE(host.vendorOut(0x0E, static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(address >> 16), data).ok());
  }
};

TEST_F(NvmTest, BothEepromPathsReachTheOneEepromByteAddressed) {
  writeEepromWord(0x1000, 0xBEEF);
  EXPECT_EQ(eepromWord(0x1000, 0x0B), 0xBEEF);
  writeEepromWord(0x1FFE, 0x1234, 0x0A);
  EXPECT_EQ(eepromWord(0x1FFE), 0x1234);
  EXPECT_EQ(eepromWord(0x1001), 0xFFBE) << "an odd offset reads bytes x and x+1";

  std::uint8_t data[2] = {0x11, 0x22};
  EXPECT_EQ(host.vendorIn(0x09, 0, 0x1FFF, data).status, TransferStatus::Stall) << "past the 8 KB part";
  EXPECT_EQ(host.vendorOut(0x08, 0, 0x2000, data).status, TransferStatus::Stall);
  EXPECT_EQ(chip.eepromBytes().size(), 8192u);
}

TEST_F(NvmTest, FlashProgrammingOnlyClearsBitsAndErasesWorkOn64KbSectors) {
  EXPECT_EQ(readFlash(0x10000, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF})) << "blank";
  writeFlash(0x10000, {0xF0, 0x0F, 0x55, 0xAA});
  writeFlash(0x10000, {0x3C, 0x3C, 0xFF, 0x00});
  EXPECT_EQ(readFlash(0x10000, 4), (std::vector<std::uint8_t>{0x30, 0x0C, 0x55, 0x00}));
  writeFlash(0x20000, {0x00});

  // Erase at an address: the whole sector holding it, nothing else.
  EXPECT_TRUE(host.vendorOut(0x0D, 0x1234, 0x0001).ok());
  EXPECT_EQ(readFlash(0x10000, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(readFlash(0x20000, 1)[0], 0x00);

  // Block erase by number.
  EXPECT_TRUE(host.vendorOut(0x10, 2, 0).ok());
  EXPECT_EQ(readFlash(0x20000, 1)[0], 0xFF);
  EXPECT_EQ(host.vendorOut(0x10, 64, 0).status, TransferStatus::Stall) << "4 MB: blocks 0-63";

  // Chip erase, only with its key.
  writeFlash(0x3FFFFF, {0x00});
  EXPECT_TRUE(host.vendorOut(0x0C, 0xAAAA, 0xAAAA).ok());
  EXPECT_EQ(chip.flashBytes(0x3FFFFF, 1)[0], 0xFF);

  // A 4 KB unit round-trips; transfers past the 4 MB stall and change nothing.
  std::vector<std::uint8_t> unit(4096);
  for (std::size_t i = 0; i < unit.size(); ++i) unit[i] = static_cast<std::uint8_t>(i * 7);
  writeFlash(0x1000, unit);
  EXPECT_EQ(readFlash(0x1000, 4096), unit);
  EXPECT_EQ(host.vendorOut(0x0E, 0xFFFF, 0x003F, std::vector<std::uint8_t>{0, 0}).status, TransferStatus::Stall);
  EXPECT_EQ(chip.flashBytes(0x3FFFFF, 1)[0], 0xFF) << "nothing programmed, no wrap-around";
  EXPECT_EQ(host.vendorIn(0x0F, 0x0000, 0x0040, unit).status, TransferStatus::Stall);
  EXPECT_EQ(host.vendorOut(0x0D, 0x0000, 0x0040).status, TransferStatus::Stall);
}

TEST(FactoryImage, EachBoardKeepsItsConfigurationInOnePlaceWithASeededMacAddress) {
  VirtualClock clock;
  Kestrel eepromBoard(clock, {.seed = 7, .completions = Completions::Stepped});
  const auto eeprom = eepromBoard.eepromBytes();
  const auto mac = FactoryMacAddress(7);
  EXPECT_EQ(mac[0] & 0x03, 0x02) << "locally administered, unicast";
  EXPECT_NE(FactoryMacAddress(8), mac) << "the seed picks the serial";
  const Configuration configuration = FactoryConfiguration(Board::Eeprom, 7);
  EXPECT_TRUE(std::equal(configuration.begin(), configuration.end(), eeprom.begin()));
  EXPECT_TRUE(std::equal(mac.begin(), mac.end(), eeprom.begin() + 4));
  EXPECT_EQ(eepromBoard.efuseBytes(), Efuse::Content{}) << "its eFuse is blank";

  Kestrel efuseBoard(clock, {.board = Board::Efuse, .completions = Completions::Stepped});
  const auto blank = efuseBoard.eepromBytes();
  EXPECT_TRUE(std::all_of(blank.begin(), blank.end(), [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(efuseBoard.efuseBytes(), BurnConfiguration(FactoryConfiguration(Board::Efuse, 1)));
}

}  // namespace
}  // namespace kqa::chip
