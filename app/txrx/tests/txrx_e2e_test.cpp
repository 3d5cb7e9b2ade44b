// The TX/RX bench against the emulated Kestrel behind the in-process driver,
// on virtual time: activation, counted and looped-back runs, a generator's
// frames with their loss and level, the continuous run's priming burst.
#include <gtest/gtest.h>

#include <chrono>

#include "app/device/tests/emulated_rig.h"
#include "app/txrx/txrx_tester.h"
#include "chip/radio/environment.h"
#include "chip/radio/radio_side.h"

namespace kqa::txrx {
namespace {

using namespace std::chrono_literals;

chip::KestrelOptions Quiet(const std::string& extra = "") {
  chip::KestrelOptions options;
  options.radio.environment = chip::Environment::Parse("noise default -95\n" + extra);
  return options;
}

struct Rig {
  explicit Rig(chip::KestrelOptions options = Quiet()) : bed(std::move(options)) {}
  device::testing::RigBed bed;
  TxRxTester tester{bed.configMemory(), bed.channels};

  chip::Kestrel& chip() { return bed.bench.chip(); }
  // One second of the page: the chip works through it in steps short
  // enough for its 64 KB receive FIFO, then timer 1 ticks.
  void second() {
    for (int step = 0; step < 50; ++step) bed.device.clock.sleep(20ms);
    bed.device.clock.sleep(0ms);  // the chip settles what ended in the last step
    tester.tick(PageTimer::Statistics);
  }
  std::uint64_t sentByChip() {
    return chip().withRadio([](chip::RadioSide& radio) { return radio.transmitter().sentTotal(); });
  }
};

TEST(TxRxBench, ActivationFillsTheContextAndTunesChannelOne) {
  Rig b;
  b.bed.device.eepromWord34 = 0;
  ASSERT_EQ(b.tester.activate(), page::Outcome::Done);
  const device::DeviceContext& d = b.bed.device;
  EXPECT_EQ(d.eepromWord34, 0x22);
  EXPECT_EQ(d.eepromWord36, 0x0000);
  EXPECT_EQ(d.eepromWord42, 0x0000);
  // The direct table's R66 reached both receive paths.
  EXPECT_EQ(b.chip().peekBbpGain(0), 0x14);
  EXPECT_EQ(b.chip().peekBbpGain(1), 0x14);
  EXPECT_EQ(b.tester.displays().chipInfo, "VQ5EC7 :: 2 T 2 R");
  EXPECT_EQ(b.tester.macAddress.substr(0, 6), "024B51");
  EXPECT_EQ(b.chip().peekRegister(0x1008) & 0xFFFFFF, 0x514B02u);
  EXPECT_EQ(b.chip().peekRf(0, 20), 0x50);
  EXPECT_EQ(b.chip().peekRf(0, 12), 0x24);
  EXPECT_EQ(b.tester.displays().tx0Power, "0E");
  EXPECT_EQ(b.tester.rssiOffsets[0], "02");
  EXPECT_EQ(d.settings.phyMode, 1);
  EXPECT_EQ(d.settings.rateIndex, 7);
  EXPECT_TRUE(b.tester.activated());
  EXPECT_TRUE(b.bed.prompt.messages().empty()) << b.bed.prompt.messages().front();
}

TEST(TxRxBench, ActivationSetsUpARunningFirmware) {
  Rig b;
  ASSERT_TRUE(b.bed.bench.startFirmware());
  ASSERT_EQ(b.tester.activate(), page::Outcome::Done);
  EXPECT_TRUE(b.bed.device.settings.firmwareReady);
  b.chip().withRadio([](chip::RadioSide& radio) {
    EXPECT_EQ(radio.mcu().functionParameter(6), 0x10000u) << "20 MHz, bits 0-7 cleared";
    EXPECT_EQ(radio.mcu().functionParameter(8), 0u);
  });
  b.tester.selectBandwidth(1);
  b.chip().withRadio([](chip::RadioSide& radio) { EXPECT_EQ(radio.mcu().functionParameter(6), 0x10100u); });
}

TEST(TxRxBench, CountedRunCompletesWithEveryPacketSent) {
  Rig b;
  b.tester.activate();
  b.tester.run.repeat = "100";
  ASSERT_EQ(b.tester.toggleTx(), page::Outcome::Done);
  EXPECT_STREQ(b.tester.txCaption(), "Stop &TX");
  EXPECT_FALSE(b.tester.startRxEnabled());
  EXPECT_TRUE(b.tester.timerRunning(PageTimer::Statistics));
  for (int i = 0; i < 5 && b.tester.txRunning(); ++i) b.second();
  EXPECT_FALSE(b.tester.txRunning());
  EXPECT_STREQ(b.tester.txCaption(), "Start &TX");
  EXPECT_TRUE(b.tester.startRxEnabled());
  EXPECT_EQ(b.tester.displays().transmitted, "100");
  EXPECT_EQ(b.tester.displays().queues[0], "100 ");
  EXPECT_EQ(b.sentByChip(), 100u);
  EXPECT_EQ(b.chip().peekRegister(0x1004) & 0x4, 0u) << "TX off after the run";

  // The total adds runs until the counters are reset.
  b.tester.toggleTx();
  b.second();
  EXPECT_EQ(b.tester.displays().transmitted, "200");
  b.tester.resetCounters();
  EXPECT_EQ(b.tester.displays().transmitted, "0");
}

TEST(TxRxBench, LoopbackReceivesTheRun) {
  Rig b;
  b.tester.activate();
  ASSERT_EQ(b.tester.setLoopback(true), page::Outcome::Done);
  EXPECT_TRUE(b.tester.rxRunning());
  b.tester.toggleRx();
  EXPECT_TRUE(b.tester.rxRunning()) << "loopback holds reception";
  b.tester.run.repeat = "50";
  b.tester.toggleTx();
  for (int i = 0; i < 3; ++i) b.second();
  // Broadcast data frames: "other DATA".
  EXPECT_EQ(b.tester.displays().counters[5], "0 / 50");
  EXPECT_EQ(b.tester.lastSignal().statistics.total[5], 50u);
  EXPECT_EQ(b.chip().peekRegister(0x1004) & 0x4, 0x4u) << "loopback keeps TX on";

  b.tester.setLoopback(false);
  EXPECT_FALSE(b.tester.rxRunning());
  EXPECT_EQ(b.chip().peekRegister(0x1004) & 0x28, 0u);
}

TEST(TxRxBench, GeneratorFramesShowLossAndLevel) {
  Rig b(Quiet("generator channel=1 level=-60 frames=900 interval=1 start=2000\n"));
  b.tester.activate();
  b.tester.run.environment = {0, 1000};
  b.tester.toggleRx();
  for (int i = 0; i < 4; ++i) b.second();
  const SignalSnapshot& signal = b.tester.lastSignal();
  EXPECT_EQ(signal.statistics.total[4], 900u) << "U2M data";
  EXPECT_EQ(b.tester.displays().frameLoss, "10.00%");
  EXPECT_EQ(b.tester.displays().fer, "0.00%");
  EXPECT_NEAR(signal.rssiDbm[0], -60, 3);
  EXPECT_NEAR(signal.rssiDbm[1], -61.5, 3);
  EXPECT_GT(signal.snrDb[0], 20.0);
  EXPECT_NE(b.tester.displays().rssi[0].find(" dBm"), std::string::npos);
  EXPECT_NE(b.tester.displays().deviation.find("KHz"), std::string::npos);
}

TEST(TxRxBench, ContinuousModulationPrimesFivePacketsThenHoldsTheRegisters) {
  Rig b;
  b.tester.activate();
  ASSERT_EQ(b.tester.setContinuousTest(ContinuousTest::Modulated, true), page::Outcome::Done);
  b.bed.device.clock.sleep(0ms);
  EXPECT_EQ(b.sentByChip(), 5u);
  EXPECT_FALSE(b.tester.txRunning());
  EXPECT_FALSE(b.tester.contiPriming());
  EXPECT_EQ(b.chip().peekRegister(0x1004) & 0x14, 0x10u) << "continuous bit set, TX bit cleared";

  b.tester.toggleTx();
  EXPECT_EQ(b.chip().peekBbp(22) & 0x80, 0x80);
  EXPECT_EQ(b.chip().peekRegister(0x1328), 0xC00A0u);
  EXPECT_EQ(b.sentByChip(), 5u) << "the continuous signal sends no packets";
  b.tester.toggleTx();
  EXPECT_EQ(b.chip().peekBbp(22) & 0x80, 0);
  b.tester.setContinuousTest(ContinuousTest::Modulated, false);
  EXPECT_EQ(b.chip().peekRegister(0x1004) & 0x10, 0u);
}

TEST(TxRxBench, BeaconSendsNothingAndTheNextPressStops) {
  Rig b;
  b.tester.activate();
  b.tester.selectFrameType(6);
  b.tester.toggleTx();
  EXPECT_TRUE(b.tester.txRunning());
  EXPECT_STREQ(b.tester.txCaption(), "Start &TX");
  b.tester.toggleTx();
  EXPECT_FALSE(b.tester.txRunning());
  EXPECT_EQ(b.sentByChip(), 0u);
}

TEST(TxRxBench, AnotherProcessSeesWhatRuns) {
  Rig b;
  b.tester.activate();
  b.tester.selectChannel(5);
  b.tester.selectBandwidth(1);
  b.tester.toggleRx();
  TxRxTester later(b.bed.configMemory(), b.bed.channels);
  b.bed.channels.channelIndex = 0;
  later.adoptChipState();
  EXPECT_EQ(b.bed.channels.channelIndex, 5);
  EXPECT_TRUE(later.radio().wide);
  EXPECT_TRUE(later.rxRunning());
  EXPECT_FALSE(later.txRunning());
  EXPECT_EQ(later.macAddress, b.tester.macAddress);
  later.toggleRx();
  EXPECT_EQ(b.chip().peekRegister(0x1004) & 0x8, 0u);
}

}  // namespace
}  // namespace kqa::txrx
