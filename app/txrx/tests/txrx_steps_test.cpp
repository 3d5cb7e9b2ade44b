// The TX/RX bench's register steps on the recording fake: what the chip is
// sent for a bandwidth, channel, DAC, antenna, rate, station address, run
// build and continuous test, worked out by hand from the steps.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/device/channel_table.h"
#include "app/device/register_access.h"
#include "app/device/tests/fake_device.h"
#include "app/txrx/txrx_tester.h"
#include "app/txrx/usb_descriptor.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::txrx {
namespace {

using device::testing::FakeDevice;
using device::testing::TestBed;
using ByteWrites = std::vector<std::pair<int, int>>;

struct Rig {
  TestBed bed;
  FakeDevice& chip = bed.chip;
  TxRxTester tester{bed.configMemory(), bed.channels};

  Rig() {
    device::DeviceContext& d = bed.device;
    d.asicVersion = device::kKestrelAsicVersion;
    device::ChannelState& c = bed.channels;
    c.channelParams = device::ChannelParamTable();
    c.channelNameTable = device::ChannelNames();
    c.channelList = device::ChannelList();
    c.channelCount = device::kChannelCount;
    d.eepromWord34 = 0x22;  // two TX and two RX paths, as EEPROM word 0x34 says
    chip.eeprom[0x34] = 0x22;
    for (std::size_t w = 0xDE; w <= 0xEE; w += 2) chip.eeprom[w] = chip.eeprom[w + 1] = 0x66;
  }
  // BBP registers written, in order (command-register writes without the read bit).
  ByteWrites bbpWrites() const {
    ByteWrites writes;
    for (std::uint32_t command : chip.macWrites(device::kBbpCommandRegister))
      if ((command & 0xF0000) == 0xA0000) writes.emplace_back((command >> 8) & 0xFF, command & 0xFF);
    return writes;
  }
  std::uint8_t rf(int bank, int reg) const { return chip.rf[static_cast<std::size_t>(bank)][static_cast<std::size_t>(reg)]; }
};

TEST(RadioSteps, BandwidthFortyAndBack) {
  Rig b;
  b.chip.bbp[4] = 0x48;
  b.chip.eeprom[0x50] = 0x82;  // 2.4 GHz: subtract 2 from every power nibble at 40 MHz
  ASSERT_EQ(b.tester.selectBandwidth(1), page::Outcome::Done);
  EXPECT_EQ(b.chip.bbp[4], 0x50);
  const ByteWrites forty = {{4, 0x50}, {69, 0x15}, {91, 0x04}, {195, 0x23}, {196, 0x12}, {195, 0x88}, {196, 0x60}};
  EXPECT_EQ(b.bbpWrites(), forty);
  EXPECT_EQ(b.rf(5, 6), 0x1A);
  EXPECT_EQ(b.rf(5, 7), 0x1A);
  EXPECT_EQ(b.rf(5, 8), 0x04);
  EXPECT_EQ(b.rf(5, 58), 0x17);
  EXPECT_EQ(b.rf(5, 59), 0x17);
  EXPECT_EQ(b.chip.macWrites(0x1314), (std::vector<std::uint32_t>{0x66666666, 0x44444444}));
  EXPECT_EQ(b.chip.macWrites(0x1324), (std::vector<std::uint32_t>{0x00006666, 0x00004444}));
  EXPECT_EQ(b.chip.macWrites(0x13D4), (std::vector<std::uint32_t>{0x66666666, 0x44444444}));
  EXPECT_TRUE(b.tester.run.bw40);

  b.chip.clearCalls();
  b.tester.selectBandwidth(0);
  EXPECT_EQ(b.chip.bbp[4], 0x40);
  EXPECT_EQ(b.chip.bbp[69], 0x12);
  EXPECT_EQ(b.chip.bbp[91], 0x07);
  EXPECT_EQ(b.rf(5, 6), 0x3A);
  EXPECT_EQ(b.rf(5, 58), 0x31);
  EXPECT_EQ(b.chip.macWrites(0x1314), (std::vector<std::uint32_t>{0x66666666})) << "no delta at 20 MHz";
  EXPECT_TRUE(b.chip.callsOf(ioctl::VQ_OID_USB_SEND_QA_CMD).empty()) << "no firmware, no command";
}

TEST(RadioSteps, ChannelChangeTunesAndShowsTheChannelsValues) {
  Rig b;
  b.chip.eeprom[0x36] = 0x04;                          // external LNA on 2.4 GHz
  b.chip.eeprom[0x44] = 0x0A;                          // 2.4 GHz LNA gain 10 dB
  b.chip.eeprom[0x57] = 0x50;                          // TX0 power of channel 6 (low 6 bits 0x10)
  b.chip.eeprom[0x65] = 0x0E;                          // TX1 power of channel 6
  b.chip.eeprom[0x3A] = 0x24;                          // frequency offset
  b.chip.eeprom[0x46] = 0xFE;                          // RSSI offsets -2 and 3
  b.chip.eeprom[0x47] = 0x03;
  b.chip.mac[0x1328] = 0x5;
  b.tester.radio().loadConfiguration();
  ASSERT_EQ(b.tester.selectChannel(5), page::Outcome::Done);

  EXPECT_EQ(b.rf(0, 20), 0x51);
  EXPECT_EQ(b.rf(0, 17), 0xEC);
  EXPECT_EQ(b.rf(0, 18), 0xEE);
  EXPECT_EQ(b.rf(0, 19), 0x00);
  EXPECT_EQ(b.rf(0, 12), 0x24);
  for (int id : {62, 63, 64}) EXPECT_EQ(b.chip.bbp[static_cast<std::size_t>(id)], 0x37 - 10);
  // Band bits: (0x5 & ~0x5) | 0xF0A, then "Both DACs" sets the low nibble.
  EXPECT_EQ(b.chip.macWrites(0x1328), (std::vector<std::uint32_t>{0xF0A, 0xF0F}));
  EXPECT_EQ(b.chip.mac[0x13B0] & 0x3F, 0x10u);
  EXPECT_EQ(b.chip.mac[0x132C], 0x4u);
  const TxRxDisplays& shown = b.tester.displays();
  EXPECT_EQ(shown.extLna, "ExtLNA = 1");
  EXPECT_EQ(shown.tx0Power, "10");
  EXPECT_EQ(shown.tx1Power, "0E");
  EXPECT_EQ(shown.frequencyOffset, "24");
  EXPECT_EQ(b.tester.rssiOffsets[0], "fe");
  EXPECT_EQ(b.tester.rssiOffsets[1], "03");
  EXPECT_EQ(b.bed.channels.channelIndex, 5);
  EXPECT_EQ(b.bed.device.settings.rssiOffsets[0], -2);
  EXPECT_EQ(b.bed.device.settings.txPower0, 0x10);

  EXPECT_EQ(b.tester.selectChannel(14), page::Outcome::Refused);
  EXPECT_EQ(b.bed.prompt.messages().back(), "Channel index 14 is not in the channel list (0 to 13).");
}

TEST(RadioSteps, ChannelFourteenInCckSetsBbpR4Bit5) {
  Rig b;
  b.tester.selectMode(0);
  b.chip.bbp[4] = 0x40;
  b.tester.selectChannel(13);
  EXPECT_EQ(b.chip.bbp[4], 0x60);
}

TEST(RadioSteps, DacChoicesAndAntennas) {
  struct Case {
    DacChoice choice;
    std::uint32_t pins;
    std::uint8_t r1, r2;
  };
  const Case cases[] = {
      {DacChoice::Both, 0xF0F, 0x14, 0xF1},
      {DacChoice::Dac0, 0xF03, 0x04, 0x11},
      {DacChoice::Dac1, 0xF0C, 0x0C, 0x21},
  };
  for (const Case& c : cases) {
    Rig b;
    b.chip.mac[0x1328] = 0xF0A;
    b.chip.bbp[1] = 0x0C;
    b.chip.rf[0][2] = 0x11;
    b.tester.chooseDac(c.choice);
    EXPECT_EQ(b.chip.mac[0x1328], c.pins);
    EXPECT_EQ(b.chip.bbp[1], c.r1);
    EXPECT_EQ(b.rf(0, 2), c.r2);
  }
  Rig b;
  b.chip.bbp[150] = b.chip.bbp[151] = 0x55;
  b.chip.bbp[152] = 0x23;
  b.tester.chooseAntenna(Antenna::Aux);
  EXPECT_EQ(b.bbpWrites(), (ByteWrites{{150, 0}, {151, 0}, {152, 0xA3}}));
  b.tester.chooseAntenna(Antenna::Main);
  EXPECT_EQ(b.chip.bbp[152], 0x23);
}

TEST(RadioSteps, TwoStreamHtRateChecksBothDacs) {
  Rig b;
  b.tester.chooseDac(DacChoice::Dac0);
  b.tester.selectMode(2);
  EXPECT_EQ(b.tester.run.rate, 7);
  EXPECT_EQ(b.tester.radio().dac, DacChoice::Dac0);
  b.tester.run.stbc = true;
  b.tester.selectRate(9);
  EXPECT_EQ(b.tester.radio().dac, DacChoice::Both);
  EXPECT_EQ(b.chip.bbp[1] & 0x18, 0x10);
  EXPECT_FALSE(b.tester.run.stbc) << "STBC is not offered for two streams";
  EXPECT_EQ(b.tester.selectRate(17), page::Outcome::Refused);
}

TEST(RadioSteps, ReceivePathEntriesAndTheSideBand) {
  EXPECT_EQ(RxPathNames(3), (std::vector<std::string>{"RX 1", "RX 2", "RX 0"}));
  Rig b;
  b.chip.bbp[3] = 0x1B;
  b.chip.rf[0][2] = 0xFF;
  b.tester.selectRxPaths(true, 0);  // "RX 1"
  EXPECT_EQ(b.chip.bbp[3], 0x01);   // 0x1B & 0xE7 = 0x03, then & 0xFD | 0x01
  EXPECT_EQ(b.rf(0, 2), 0xF2);
  b.tester.selectTxBand(true);
  EXPECT_EQ(b.chip.bbp[3], 0x21);
  EXPECT_EQ(b.chip.mac[0x132C] & 1, 1u);
}

TEST(SmallSettings, StationAddressBytesAndATypo) {
  Rig b;
  b.tester.macAddress = "000A40AABBCC";
  ASSERT_EQ(b.tester.setStationAddress(), page::Outcome::Done);
  EXPECT_EQ(b.chip.mac[0x1008], 0xAA400A00u);
  EXPECT_EQ(b.chip.mac[0x100C], 0xCCBBu);

  b.chip.clearCalls();
  b.tester.macAddress = "000A40AABBGC";
  EXPECT_EQ(b.tester.setStationAddress(), page::Outcome::Refused);
  EXPECT_TRUE(b.chip.macWrites(0x1008).empty());
  EXPECT_NE(b.bed.prompt.messages().back().find("\"MAC Address\""), std::string::npos);
}

TEST(SmallSettings, CounterResetAndItsFailure) {
  Rig b;
  b.chip.failAlways(ioctl::VQ_OID_USB_RESET_COUNTERS, 31);
  EXPECT_EQ(b.tester.resetCounters(), page::Outcome::Failed);
  EXPECT_EQ(b.bed.prompt.messages().back(), "ANTENNA_SELECTED DeviceIoControl failed!  Error = 31");
}

TEST(RunRegisters, WcidEntryKeyWmmGapAndRdg) {
  Rig b;
  b.chip.mac[0x1008] = 0xAA400A00;
  b.chip.mac[0x100C] = 0x1234CCBB;
  b.chip.mac[0x1104] = 0x109;  // slot time 9
  b.chip.mac[0x1350] = 0x1;
  RunSettings& s = b.tester.run;
  ApplyFramePreset(s, 17);
  s.totalBytes = "100";
  s.ipg = "300";
  s.mode = 2;
  s.rdg = true;
  s.descriptor.cipher = 4;
  s.descriptor.keyTable = kPairwiseKeyTable;
  s.descriptor.eiv = "01020304";
  b.bed.device.settings.phyMode = 2;
  ASSERT_EQ(b.tester.buildRecord(), page::Outcome::Done);

  EXPECT_EQ(b.chip.mac[0x1808], 0xAA400A00u);
  EXPECT_EQ(b.chip.mac[0x180C], 0xCCBBu);
  const std::uint32_t key[8] = {0x5D1CA8F3, 0x74296B0E, 0x0A5ED1C8, 0x47623F9B,
                                0xB3E0275D, 0xF84C6A91, 0x926F0EA4, 0xD8137BC5};
  for (std::uint32_t w = 0; w < 8; ++w) EXPECT_EQ(b.chip.mac[0x8020 + 4 * w], key[w]) << w;
  EXPECT_EQ(b.chip.mac[0xA008], 0x00200020u);
  EXPECT_EQ(b.chip.mac[0xA00C], 0x01020304u);
  EXPECT_EQ(b.chip.mac[0x6804], 9u);  // (cipher 4 << 1) | pairwise
  EXPECT_EQ(b.chip.mac[0x0214], 0x73227322u);
  EXPECT_EQ(b.chip.mac[0x0218], 0x44324432u);
  EXPECT_EQ(b.chip.mac[0x021C], 0xAA43AA43u);
  for (std::uint32_t offset = 0x1300; offset <= 0x130C; offset += 4) EXPECT_EQ(b.chip.mac[offset], 33u << 8);
  EXPECT_EQ(b.chip.mac[0x1100], 0x0303u);
  EXPECT_EQ(b.chip.mac[0x1350], 0x801u);
}

TEST(RunRegisters, SharedKeyModeAndAGapWithoutASlotTime) {
  Rig b;
  b.chip.mac[0xB000] = 0xFFFFFFFF;
  b.tester.run.descriptor.cipher = 4;
  ASSERT_EQ(b.tester.buildRecord(), page::Outcome::Done);
  EXPECT_EQ(b.chip.mac[0xAC00], 0x5D1CA8F3u);
  EXPECT_EQ(b.chip.mac[0x6804], 8u);
  EXPECT_EQ(b.chip.mac[0xB000], 0xFFFFFFFCu);

  b.chip.clearCalls();
  b.tester.run.ipg = "300";
  EXPECT_EQ(b.tester.buildRecord(), page::Outcome::Refused);
  EXPECT_EQ(b.bed.prompt.messages().back(),
            "\"IPG\" 300 needs the slot time in MAC 0x1104, which reads 0; nothing was sent.");
  EXPECT_TRUE(b.chip.macWrites(0x1808).empty());
}

TEST(DescriptorDialogSteps, OkWritesWmmAndTxopAndMarksTheFrame) {
  Rig b;
  DescriptorSettings d;
  d.cipher = 1;
  ASSERT_EQ(b.tester.acceptDescriptorDialog(d), page::Outcome::Done);
  EXPECT_EQ(b.chip.mac[0x0220], 0x005E002Fu);
  EXPECT_EQ(b.chip.mac[0x0224], 0u);
  EXPECT_EQ(b.chip.mac[0x0228], 0x005E002Fu);
  EXPECT_EQ(b.tester.run.fc, "0840");
  EXPECT_TRUE(b.tester.displays().queueCountsShown);

  b.chip.clearCalls();
  d.txop[5] = "9x";
  EXPECT_EQ(b.tester.acceptDescriptorDialog(d), page::Outcome::Refused);
  EXPECT_TRUE(b.chip.macWrites(0x0214).empty());

  b.tester.chooseWmmSelection(kRg2Wmm1);
  EXPECT_EQ(b.chip.mac[0x0230], 0x80000000u);
  b.tester.chooseWmmSelection(kRg2Wmm0);
  EXPECT_EQ(b.chip.mac[0x0230], 0u);
}

TEST(ContinuousTests, CarrierAndSuppressionRegistersAndTheirUndo) {
  Rig b;
  b.chip.mac[0x1328] = 0xF0F;
  b.chip.bbp[22] = 0x3E;
  b.chip.bbp[1] = 0x10;
  ASSERT_EQ(b.tester.setContinuousTest(ContinuousTest::Carrier, true), page::Outcome::Done);
  EXPECT_FALSE(b.tester.testEnabled(ContinuousTest::Suppression));
  EXPECT_FALSE(b.tester.japanFilterEnabled());
  ASSERT_EQ(b.tester.toggleTx(), page::Outcome::Done);
  EXPECT_EQ(b.chip.mac[0x1328], 0xC00A0u);
  EXPECT_EQ(b.chip.bbp[22], 0x41);  // (0x3E & 0xC1) | 0x41
  EXPECT_TRUE(b.chip.callsOf(ioctl::VQ_OID_USB_TX_START).empty()) << "a carrier sends no packets";
  EXPECT_STREQ(b.tester.txCaption(), "Stop &TX");

  ASSERT_EQ(b.tester.toggleTx(), page::Outcome::Done);
  EXPECT_EQ(b.chip.bbp[22], 0x00);
  EXPECT_EQ(b.chip.mac[0x1328], 0xF0Fu) << "restored, then Both DACs";
  EXPECT_EQ(b.chip.mac[0x1004] & 0x4, 0u);

  b.tester.setContinuousTest(ContinuousTest::Carrier, false);
  b.tester.setContinuousTest(ContinuousTest::Suppression, true);
  b.chip.bbp[21] = 0x00;
  b.tester.toggleTx();
  EXPECT_EQ(b.chip.mac[0x1004] & 0x14, 0x14u);
  EXPECT_EQ(b.chip.bbp[22] & 0x80, 0x80);
  EXPECT_EQ(b.chip.bbp[21], 0x10);
  b.tester.toggleTx();
  EXPECT_EQ(b.chip.mac[0x1004] & 0x14, 0u);
  EXPECT_EQ(b.chip.bbp[21], 0x00);
}

// An endless run: the record goes to each of the ten slots (its slot word
// rewritten), then the start block; the stop sends the stop code. (On the
// emulated chip an endless run never lets virtual time settle.)
TEST(HandOver, TenSlotsThenTheStartBlockAndTheStop) {
  Rig b;
  for (int i = 0; i < 10; ++i) b.chip.script(ioctl::VQ_OID_USB_TX_LOAD_PACKET, ERROR_SUCCESS);
  b.chip.script(ioctl::VQ_OID_USB_TX_START, ERROR_SUCCESS);
  b.chip.script(ioctl::VQ_OID_USB_TX_STOP, ERROR_SUCCESS);
  ApplyFramePreset(b.tester.run, 13);
  b.tester.run.repeat = "0";
  b.tester.run.descriptor.nextValid = 1;
  b.tester.sequenceDebug = true;
  ASSERT_EQ(b.tester.toggleTx(), page::Outcome::Done);
  const auto loads = b.chip.callsOf(ioctl::VQ_OID_USB_TX_LOAD_PACKET);
  ASSERT_EQ(loads.size(), 10u);
  for (std::uint8_t slot = 0; slot < 10; ++slot) {
    ASSERT_EQ(loads[slot].input.size(), 48u) << "packet length 36 + 12";
    EXPECT_EQ(loads[slot].input[0], slot);
    EXPECT_EQ(std::vector<std::uint8_t>(loads[slot].input.begin() + 4, loads[slot].input.end()),
              std::vector<std::uint8_t>(b.tester.lastBuild().record.begin() + 4, b.tester.lastBuild().record.end()));
  }
  const auto starts = b.chip.callsOf(ioctl::VQ_OID_USB_TX_START);
  ASSERT_EQ(starts.size(), 1u);
  // Count 0 (endless), AC0 only, frame type 13, NextVLD 1, Seq_dbg 1.
  EXPECT_EQ(starts[0].input, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 13, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(b.chip.mac[0x1004] & 0x4, 0x4u);
  EXPECT_TRUE(b.tester.timerRunning(PageTimer::Statistics));

  ASSERT_EQ(b.tester.toggleTx(), page::Outcome::Done);
  EXPECT_EQ(b.chip.callsOf(ioctl::VQ_OID_USB_TX_STOP).size(), 1u);
  EXPECT_EQ(b.chip.mac[0x1004] & 0x4, 0u);
  EXPECT_FALSE(b.tester.timerRunning(PageTimer::Statistics));
}

TEST(HandOver, AFailedLoadIsToldAndTheRunDoesNotStart) {
  Rig b;
  b.chip.failAlways(ioctl::VQ_OID_USB_TX_LOAD_PACKET, 87);
  EXPECT_EQ(b.tester.toggleTx(), page::Outcome::Failed);
  EXPECT_EQ(b.bed.prompt.messages().back(), "TX record DeviceIoControl failed!  Error = 87");
  EXPECT_FALSE(b.tester.txRunning());
  EXPECT_TRUE(b.chip.callsOf(ioctl::VQ_OID_USB_TX_START).empty());
  EXPECT_EQ(b.chip.mac[0x1004] & 0x4, 0u);
}

TEST(UsbConfiguration, DescriptorFieldsAndProductId) {
  TestBed bed;
  const std::vector<std::uint8_t> descriptor = {18, 1, 0x00, 0x02, 0xFF, 0x00, 0x00, 64, 0x34, 0x12,
                                                0x01, 0x76, 0x00, 0x01, 1, 2, 0, 1};
  bed.chip.script(ioctl::VQ_OID_USB_GET_DEVICE_DESCRIPTOR, ERROR_SUCCESS, descriptor);
  UsbDescriptorReading reading = ReadUsbConfiguration(bed.device);
  EXPECT_TRUE(reading.ok);
  EXPECT_EQ(reading.fields.usbVersion, " 200");
  EXPECT_EQ(reading.fields.vendorId, "1234");
  EXPECT_EQ(reading.fields.ep0MaxPacketSize, "  40");
  EXPECT_EQ(reading.fields.deviceId, "7601");
  EXPECT_EQ(reading.fields.deviceClass, "  FF");
  EXPECT_EQ(reading.fields.configurations, "   1");
  EXPECT_EQ(bed.device.settings.productId, 0x7601);

  // A short answer counts as none: zeros and product id 0.
  bed.chip.script(ioctl::VQ_OID_USB_GET_DEVICE_DESCRIPTOR, ERROR_SUCCESS, {18, 1, 0, 2});
  reading = ReadUsbConfiguration(bed.device);
  EXPECT_FALSE(reading.ok);
  EXPECT_EQ(reading.fields.vendorId, "   0");
  EXPECT_EQ(bed.device.settings.productId, 0);
}

}  // namespace
}  // namespace kqa::txrx
