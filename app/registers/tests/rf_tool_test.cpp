// The RF pages' logic: registers, bits and files on the fake device and the
// emulated chip; the channel table, TX power and frequency offset.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/device/config_memory.h"
#include "app/device/register_access.h"
#include "app/device/tests/emulated_rig.h"
#include "app/device/tests/fake_device.h"
#include "app/device/text_format.h"
#include "app/registers/rf_radio_tool.h"
#include "app/registers/rf_register_tool.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::registers {
namespace {

using device::Format;
using device::testing::RigBed;
using device::testing::TestBed;
using Outcome = page::Outcome;

// The RF accesses the fake saw, from the commands written to MAC 0x0500:
// "R5.35" reads bank 5 R35, "W0.4=80" writes 0x80 to bank 0 R4.
std::vector<std::string> RfAccesses(const device::testing::FakeDevice& chip) {
  std::vector<std::string> accesses;
  for (std::uint32_t command : chip.macWrites(0x0500)) {
    const unsigned bank = command >> 14 & 0xF;
    const unsigned reg = command >> 8 & 0x3F;
    accesses.push_back((command & 0x40000000u) != 0
                           ? Format("W%u.%u=%02X", bank, reg, command & 0xFF)
                           : Format("R%u.%u", bank, reg));
  }
  return accesses;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("kqa-rf-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

TEST(RfRegisterTool, BothPagesShowTheSharedBankAndABitPressWritesThroughTheChip) {
  TestBed bed;
  bed.chip.rf[5][35] = 0x20;
  bed.chip.rf[5][5] = 0x01;
  RfRegisterTool page1(bed.device, RfPage::One);
  RfRegisterTool page2(bed.device, RfPage::Two);
  EXPECT_EQ(page1.chooseBank(5), Outcome::Done);
  EXPECT_EQ(bed.device.settings.rfBank, 5);
  bed.chip.clearCalls();
  EXPECT_EQ(page2.readAll(), Outcome::Done);
  const std::vector<std::string> reads = RfAccesses(bed.chip);
  ASSERT_EQ(reads.size(), 32u);
  EXPECT_EQ(reads.front(), "R5.32");
  EXPECT_EQ(reads.back(), "R5.63");
  EXPECT_EQ(page2.values()[3], 0x20);
  EXPECT_TRUE(page2.bitShown(35, 5));

  // Bit 3 of R5 shows 0: the press reads R5, sets the bit, writes, reads all.
  bed.chip.clearCalls();
  EXPECT_EQ(page1.toggleBit(5, 3), Outcome::Done);
  const std::vector<std::string> press = RfAccesses(bed.chip);
  ASSERT_EQ(press.size(), 2u + 32u);
  EXPECT_EQ(press[0], "R5.5");
  EXPECT_EQ(press[1], "W5.5=09");
  EXPECT_TRUE(page1.bitShown(5, 3));
  EXPECT_EQ(page1.toggleBit(5, 0), Outcome::Done);  // shown 1: cleared
  EXPECT_EQ(bed.chip.rf[5][5], 0x08);
  EXPECT_EQ(page1.chooseBank(16), Outcome::Refused);
}

TEST(RfRegisterTool, TheSingleBoxWorksInTheBankAndRefusesTypos) {
  TestBed bed;
  RfRegisterTool tool(bed.device, RfPage::Two);
  bed.device.settings.rfBank = 4;
  tool.single = {"40", "7E", Direction::Write};
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Done);
  EXPECT_EQ(bed.chip.rf[4][40], 0x7E);
  EXPECT_EQ(tool.values()[8], 0x7E) << "read all after the write";
  tool.single = {"4O", "00", Direction::Read};
  bed.chip.clearCalls();
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Refused);
  EXPECT_TRUE(bed.chip.macWrites(0x0500).empty());
  EXPECT_NE(bed.prompt.messages().back().find("\"4O\" is not a decimal number"), std::string::npos);
  tool.single = {"100", "00", Direction::Write};  // R100 would alias R36
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Refused);
  EXPECT_TRUE(bed.chip.macWrites(0x0500).empty());
  tool.single = {"296", "5E", Direction::Write};  // cut to 8 bits: R40
  EXPECT_EQ(tool.singleReadWrite(), Outcome::Done);
  EXPECT_EQ(bed.chip.rf[4][40], 0x5E);
}

TEST(RfRegisterTool, TheLoadAsksTheVcoOnlyOnAKestrelAndNamesWhatItSkipped) {
  TestBed bed;
  const std::string path = TempPath("load.txt");
  std::ofstream(path) << "0 004 11\n5 035 20\n0 099 00\n";
  RfRegisterTool tool(bed.device, RfPage::One);
  bed.device.asicVersion = device::kKestrelAsicVersion;
  ASSERT_EQ(tool.loadRegisterFile(path), Outcome::Done);
  std::vector<std::string> accesses = RfAccesses(bed.chip);
  EXPECT_EQ(std::vector<std::string>(accesses.begin(), accesses.begin() + 4),
            (std::vector<std::string>{"W0.4=11", "W5.35=20", "R0.4", "W0.4=91"}));
  EXPECT_EQ(bed.clock.now(), std::chrono::milliseconds(5));
  EXPECT_NE(bed.prompt.messages().back().find("line 3: 0 099 00"), std::string::npos);

  bed.chip.clearCalls();
  bed.device.asicVersion = 0x30710000;  // another chip: no register-4 step
  ASSERT_EQ(tool.loadRegisterFile(path), Outcome::Done);
  accesses = RfAccesses(bed.chip);
  EXPECT_EQ(accesses[2], "R0.0") << "straight to the grid";
  std::filesystem::remove(path);
}

TEST(RfRadioTool, TheSynthesiserTableAsThePageShowsIt) {
  // channel, VCO on a Kestrel, N, Ksd: worked out from the RF values of
  // each channel (R20; R19 bits 0-1, R18, R17).
  const char* expected[] = {
      "channel 1 VCO 3216.000 N 80 K 0 D 0 Ksd 0x19999",
      "channel 2 VCO 3222.667 N 80 K 0 D 0 Ksd 0x24446",
      "channel 3 VCO 3229.333 N 80 K 0 D 0 Ksd 0x2EEEC",
      "channel 4 VCO 3236.000 N 80 K 0 D 0 Ksd 0x39999",
      "channel 5 VCO 3242.667 N 81 K 0 D 0 Ksd 0x4446",
      "channel 6 VCO 3249.333 N 81 K 0 D 0 Ksd 0xEEEC",
      "channel 7 VCO 3256.000 N 81 K 0 D 0 Ksd 0x19999",
      "channel 8 VCO 3262.667 N 81 K 0 D 0 Ksd 0x24446",
      "channel 9 VCO 3269.333 N 81 K 0 D 0 Ksd 0x2EEEC",
      "channel 10 VCO 3276.000 N 81 K 0 D 0 Ksd 0x39999",
      "channel 11 VCO 3282.667 N 82 K 0 D 0 Ksd 0x4446",
      "channel 12 VCO 3289.333 N 82 K 0 D 0 Ksd 0xEEEC",
      "channel 13 VCO 3296.000 N 82 K 0 D 0 Ksd 0x19999",
      "channel 14 VCO 3312.000 N 82 K 0 D 0 Ksd 0x33333",
  };
  const auto table = device::ChannelParamTable();
  ASSERT_EQ(table.size(), 14u);
  for (std::size_t i = 0; i < table.size(); ++i)
    EXPECT_EQ(FormatSynthesiserLine(SynthesiserRowOf(table[i]), device::kKestrelAsicVersion),
              expected[i]);
  EXPECT_EQ(FormatVco(3222.6666667, 0x30710000), "3222.66667") << "five decimals on other chips";
}

TEST(RfRadioTool, TxPowerAndFrequencyOffsetStepWithinTheirRanges) {
  TestBed bed;
  bed.device.asicVersion = device::kKestrelAsicVersion;
  bed.channels.channelIndex = 6;
  bed.chip.mac[0x13B0] = 0x00001F3E;
  bed.chip.rf[0][12] = 0x24;
  bed.chip.eeprom[0x34] = 0x22;  // two transmit paths
  RfRadioTool radio(bed.configMemory(), bed.channels);
  radio.loadSettings();
  EXPECT_EQ(radio.txPowerText(0), "3E");
  EXPECT_EQ(radio.frequencyOffsetText(), "024");

  EXPECT_EQ(radio.stepTxPower(0, "3E", +1), Outcome::Done);
  EXPECT_EQ(bed.chip.macWrites(0x13B0), (std::vector<std::uint32_t>{0x00001F3F}));
  EXPECT_EQ(bed.chip.callsOf(ioctl::VQ_OID_USB_VENDOR_WRITE_HALVES).size(), 1u)
      << "0x13B0 goes through 0x2234DC on a Kestrel";
  EXPECT_EQ(radio.stepTxPower(0, "3F", +1), Outcome::Refused) << "0x3F does not go higher";
  EXPECT_EQ(radio.stepTxPower(0, "01", -1), Outcome::Done) << "0x00 is in range";
  EXPECT_EQ(radio.stepTxPower(0, "3E", +1), Outcome::Done);
  EXPECT_EQ(radio.stepTxPower(0, "00", -1), Outcome::Refused) << "nor 0x00 lower";
  EXPECT_EQ(bed.chip.macWrites(0x13B0),
            (std::vector<std::uint32_t>{0x00001F3F, 0x00001F00, 0x00001F3F}));
  EXPECT_EQ(bed.device.settings.txPower0, 0x3F);
  EXPECT_EQ(bed.device.settings.txPowerChannel, 6);

  EXPECT_EQ(radio.stepTxPower(1, "10", -1), Outcome::Done);
  EXPECT_EQ(bed.device.settings.txPower1, 0x0F);
  EXPECT_EQ(bed.chip.macWrites(0x13B0).size(), 3u) << "TX power 1 writes no register";

  EXPECT_EQ(radio.stepFrequencyOffset("024", +1), Outcome::Done);
  EXPECT_EQ(bed.chip.rf[0][12], 0x25);
  EXPECT_EQ(radio.frequencyOffsetText(), "025");
  EXPECT_EQ(radio.stepFrequencyOffset("0FE", +1), Outcome::Done);
  EXPECT_EQ(bed.chip.rf[0][12], 0xFF);
  EXPECT_EQ(radio.stepFrequencyOffset("0FF", +1), Outcome::Refused);
  EXPECT_EQ(radio.stepFrequencyOffset("0FF", -1), Outcome::Done) << "FF steps down";
  EXPECT_EQ(bed.chip.rf[0][12], 0xFE);
  EXPECT_TRUE(bed.prompt.messages().empty()) << "a spin at its end says nothing";

  EXPECT_EQ(radio.stepTxPower(0, "3G", +1), Outcome::Refused);
  EXPECT_EQ(radio.setTxPower(0, 0x40), Outcome::Refused);
  EXPECT_EQ(bed.prompt.messages().size(), 2u);
  bed.chip.eeprom[0x34] = 0x12;  // one transmit path
  bed.device.eepromWord34 = 0;
  EXPECT_EQ(radio.setTxPower(1, 0x10), Outcome::Refused);
  EXPECT_EQ(bed.prompt.messages().back(),
            "TX power 1 does not apply: the chip has 1 transmit path(s).");
}

TEST(RfRadioTool, TheChipInfoLineReadsTheProductIdOnce) {
  RigBed bed;
  RfRadioTool radio(bed.configMemory(), bed.channels);
  // The emulated chip: product 0x0001, and its configuration word 0x34.
  std::uint16_t paths = 0;
  device::ReadEepromWord(bed.configMemory(), 0x34, paths);
  EXPECT_EQ(radio.chipInfoLine(), Format("VQ1 :: %d T %d R", paths >> 4 & 0xF, paths & 0xF));
  bed.device.settings.productId = 0x7601;
  EXPECT_EQ(radio.chipInfoLine().substr(0, 10), "VQ7601 :: ");
}

}  // namespace
}  // namespace kqa::registers
