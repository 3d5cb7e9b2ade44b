// The RF calibrations, the trims and the level control against the emulated
// Kestrel (its calibration engines, sensors and configuration memory), on
// virtual time. Expected register values are worked out by hand from the
// chip's documented behaviour (chip/README.md).
#include <gtest/gtest.h>

#include <chrono>

#include "app/device/config_memory.h"
#include "app/device/tests/emulated_rig.h"
#include "app/txrx/bench_tools.h"
#include "app/txrx/calibration/level_conversion.h"
#include "chip/radio/radio_side.h"

namespace kqa::txrx {
namespace {

using namespace std::chrono_literals;
using page::Outcome;

struct Rig {
  explicit Rig(chip::KestrelOptions options = {}) : bed(std::move(options)) {
    tools.attach(tester);
    tools.firmware.search = {};
  }
  device::testing::RigBed bed;
  BenchTools tools{bed.device};
  TxRxTester tester{bed.configMemory(), bed.channels, &tools};

  chip::Kestrel& chip() { return bed.bench.chip(); }
  RfCalibrations& rf() { return tools.rf(); }
  void activate() {
    ASSERT_EQ(tester.activate(), Outcome::Done);
    bed.prompt.clear();  // "Can not load the firmware ..."
  }
  void setTemperature(double celsius) {
    chip().withRadio([celsius](chip::RadioSide& radio) { radio.sensors().setTemperature(celsius); });
  }
  void setGainError(double db) {
    chip().withRadio([db](chip::RadioSide& radio) { radio.sensors().setTxGainError(db); });
  }
  int alc() {
    const int v = static_cast<int>(chip().peekRegister(0x13B4) & 0x3F);
    return v >= 32 ? v - 64 : v;
  }
};

TEST(LevelConversion, MatchesTheConverterByHand) {
  // D(1): y doubles from 16 to 32768 (e = -15), m = 512, z = 512 -> 3.
  // D(12): y = 49152, e = -12, upper segment m = 19200, z = 117504 -> 691.
  // D(65535): y halves to 65535 (e = 0), m = 33281, z = 524801 -> 3087.
  const struct {
    std::uint16_t x;
    std::int16_t d;
  } cases[] = {{0, -10000}, {1, 3}, {2, 195}, {12, 691}, {24, 883}, {0xFFFF, 3087}};
  for (const auto& c : cases) EXPECT_EQ(LevelConversion(c.x), c.d) << "x = " << c.x;
}

TEST(Dcoc, CalibratesOrSaysItTimedOutAndRestoresMacControl) {
  Rig b;
  b.chip().pokeRegister(0x1004, 0x24);
  EXPECT_EQ(b.rf().dcoc(), Outcome::Done);
  EXPECT_TRUE(b.chip().withRadio([](chip::RadioSide& radio) { return radio.calibration().dcCalibrated(); }));
  EXPECT_EQ(b.chip().peekRegister(0x1004), 0x24u);
  EXPECT_TRUE(b.bed.prompt.messages().empty());

  b.chip().faults().setBusyStuck(chip::BusyUnit::DcOffset, true);
  const auto before = b.bed.device.clock.now();
  EXPECT_EQ(b.rf().dcoc(), Outcome::Failed);
  EXPECT_EQ(b.bed.prompt.messages(), std::vector<std::string>{"DCOC Calibration Fail !"});
  EXPECT_GE(b.bed.device.clock.now() - before, 2990ms);  // 300 polls, 10 ms apart
  EXPECT_EQ(b.chip().peekRegister(0x1004), 0x24u);
}

TEST(Temperature, CorrectionFollowsTheDieTemperature) {
  Rig b;
  b.activate();
  // 0x20 at 25 C, one step per 3.89 C; the reference is word 0xD0's 0x20.
  const struct {
    double celsius;
    std::int8_t steps;
    std::uint8_t r75;  // 20 MHz: 0x5E once 3.89 x steps <= -25
  } cases[] = {{25, 0, 0x60}, {45, 5, 0x60}, {0, -6, 0x60}, {-5, -8, 0x5E}, {25, 0, 0x60}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.celsius);
    b.setTemperature(c.celsius);
    EXPECT_EQ(b.rf().temperatureDifference(), c.steps);
    EXPECT_EQ(b.rf().compensationStep({.temperature = true, .receiving = true}), Outcome::Done);
    EXPECT_EQ(b.chip().peekBbp(75), c.r75);
    EXPECT_EQ(b.chip().peekBbp(92), 0x02);
  }
  // At 40 MHz the cold values differ.
  b.tester.selectBandwidth(1);
  b.setTemperature(-5);
  b.rf().compensationStep({.temperature = true, .receiving = true});
  EXPECT_EQ(b.chip().peekBbp(75), 0x5C);
  EXPECT_EQ(b.chip().peekBbp(92), 0x03);
  EXPECT_TRUE(b.bed.prompt.messages().empty());

  // Without reception nothing is corrected.
  b.tester.selectBandwidth(0);
  b.setTemperature(25);
  b.rf().compensationStep({.temperature = true, .receiving = false});
  EXPECT_EQ(b.chip().peekBbp(75), 0x5C);
}

TEST(Temperature, AStuckSensorIsToldAndChangesNothing) {
  Rig b;
  b.activate();
  b.setTemperature(-20);
  b.chip().faults().setBusyStuck(chip::BusyUnit::Sensor, true);
  EXPECT_EQ(b.rf().temperatureDifference(), std::nullopt);
  EXPECT_EQ(b.rf().compensationStep({.temperature = true, .receiving = true}), Outcome::Failed);
  EXPECT_EQ(b.bed.prompt.messages(),
            (std::vector<std::string>{"Temperature reading timeout !", "Temperature reading timeout !"}));
  EXPECT_EQ(b.chip().peekBbp(75), 0x60);  // still the warm value of the activation
}

TEST(Tssi, MeasurementReadsFourPassesAndSetsTheLevel) {
  Rig b;
  b.activate();
  b.chip().pokeRegister(0x0504, 0x1234);
  b.chip().pokeRegister(0x050C, 0x56);
  ASSERT_EQ(b.rf().measureTssi(), Outcome::Done);
  const TssiMeasurement& m = b.rf().lastTssi();
  // Channel 1, TX0 power 0x0E: 8 + 7 = 15 dBm, the test tone 6 dB down is
  // 7.94 mW; the detector reads 24 + 1.5 (3 at high sensitivity) per mW.
  EXPECT_EQ(m.base0, 24);
  EXPECT_EQ(m.reading0, 36);
  EXPECT_EQ(m.base1, 24);
  EXPECT_EQ(m.reading1, 48);
  EXPECT_EQ(m.d0, 691);  // D(12)
  EXPECT_EQ(m.d1, 883);  // D(24)
  EXPECT_EQ(m.difference, 192);
  // a = 6, b = 0x20 (word 0x6E, channel 1): v = 691 x 6 = 4146 -> -(1) -> 0x3F.
  EXPECT_EQ(b.chip().peekRegister(0x13B4) & 0x3F, 0x3Fu);
  // What it borrowed is back.
  EXPECT_EQ(b.chip().peekRegister(0x0504), 0x1234u);
  EXPECT_EQ(b.chip().peekRegister(0x050C), 0x56u);
  EXPECT_TRUE(b.bed.prompt.messages().empty());
}

TEST(Tssi, ATimeOutWritesNoLevel) {
  Rig b;
  b.activate();
  const std::uint8_t r3 = b.chip().peekRf(5, 3);
  b.chip().pokeRegister(0x13B4, 0x05);
  b.chip().faults().setBusyStuck(chip::BusyUnit::Sensor, true);
  EXPECT_EQ(b.rf().measureTssi(), Outcome::Failed);
  EXPECT_EQ(b.bed.prompt.messages(), std::vector<std::string>{"TSSI measurement timeout !"});
  EXPECT_EQ(b.chip().peekRegister(0x13B4), 0x05u);
  EXPECT_EQ(b.chip().peekRf(5, 3), r3);
}

TEST(Tssi, LevelControlCountersTheTransmittersDrift) {
  Rig b;
  b.activate();
  // A board with the nominal detector slope (a = 0x80); the per-rate powers
  // and classes at 0 so the target is the base power.
  ASSERT_EQ(device::WriteEepromWord(b.bed.configMemory(), 0x6E, 0x2080), device::NvmResult::Ok);
  for (std::uint16_t reg : {0x1314, 0x1318, 0x131C, 0x1320, 0x13D4, 0x13D8, 0x121C}) b.chip().pokeRegister(reg, 0);
  ASSERT_EQ(b.rf().measureTssi(), Outcome::Done);
  b.chip().pokeRegister(0x13B4, 0);
  ASSERT_TRUE(b.rf().fillRatePowerTable());
  b.tester.radio().registers().setBbp(22, 0x80);  // the transmitter runs continuously
  const auto settle = [&] {
    for (int step = 0; step < 30; ++step) ASSERT_EQ(b.rf().compensationStep({.tssi = true}), Outcome::Done);
  };
  settle();
  const int nominal = b.alc();
  b.setGainError(3.0);  // the amplifier now gives 3 dB more
  settle();
  const int hot = b.alc();
  b.setGainError(-3.0);
  settle();
  const int weak = b.alc();
  EXPECT_LT(hot, nominal - 2) << nominal;  // 3 dB is 6 steps of 0.5 dB
  EXPECT_GT(weak, nominal + 2) << nominal;
  EXPECT_TRUE(b.bed.prompt.messages().empty());

  // Unchecking "TSSI" clears the step and keeps the register's other bits.
  b.chip().pokeRegister(0x13B4, 0x0100003A);
  EXPECT_EQ(b.rf().clearLevelControl(), Outcome::Done);
  EXPECT_EQ(b.chip().peekRegister(0x13B4), 0x01000000u);
}

TEST(Mismatch, VerdictsAndTheirMessages) {
  Rig b;
  // Before any DC-offset calibration the residual DC is too high.
  EXPECT_EQ(b.rf().rxMismatch(), Outcome::Done);
  EXPECT_EQ(b.rf().lastMismatch(), 0x1E);
  EXPECT_EQ(b.bed.prompt.messages().back(),
            "RF Rx MisMatch Calibration :\n\nBBP R159 = 0x0000001E\nbit1 = 1, the residual DC is too high");
  ASSERT_EQ(b.rf().dcoc(), Outcome::Done);
  b.bed.prompt.clear();
  EXPECT_EQ(b.rf().rxMismatch(), Outcome::Done);
  EXPECT_EQ(b.rf().lastMismatch(), 0x1C);
  EXPECT_TRUE(b.bed.prompt.messages().empty());
  // TX with a power code below 4: the gain is too low.
  b.chip().pokeRegister(0x13B0, 0x02);
  EXPECT_EQ(b.rf().txMismatch(), Outcome::Done);
  EXPECT_EQ(b.rf().lastMismatch(), 0x1D);
  EXPECT_EQ(b.bed.prompt.messages().back(),
            "RF Tx MisMatch Calibration :\n\nBBP R159 = 0x0000001D\nbit0 = 1, the VGA gain is too low");
  // BBP R1 bit 2 moves index 5's setting to 0x3C, which then shows.
  b.tester.radio().registers().setBbp(1, 0x04);
  b.chip().pokeRegister(0x13B0, 0x10);
  b.rf().rxMismatch();
  EXPECT_EQ(b.rf().lastMismatch(), 0x3C);
  EXPECT_EQ(b.bed.prompt.messages().back(), "RF Rx MisMatch Calibration :\n\nBBP R159 = 0x0000003C\n");
}

TEST(Trims, StoredTxPowerLandsInTheConfigurationMemoryOfBothBoards) {
  for (chip::Board board : {chip::Board::Eeprom, chip::Board::Efuse}) {
    SCOPED_TRACE(board == chip::Board::Eeprom ? "EEPROM board" : "eFuse board");
    Rig b({.board = board});
    b.activate();
    const bool efuse = board == chip::Board::Efuse;
    if (efuse) b.bed.prompt.answerOkCancel(true);  // "Free block before write=..."
    // Channel 1: TX0's byte is 0x52, the low byte of word 0x52.
    EXPECT_EQ(b.tools.trims().txPowerAddress(0), 0x52);
    EXPECT_EQ(b.tools.trims().storeTxPower(0, "12"), Outcome::Done);
    std::uint16_t word = 0;
    ASSERT_EQ(device::ReadEepromWord(b.bed.configMemory(), 0x52, word), device::NvmResult::Ok);
    EXPECT_EQ(word, 0x0E12);  // channel 2's 0x0E kept
    if (!efuse) {
      EXPECT_EQ(b.chip().eepromBytes()[0x52], 0x12);
    }
    EXPECT_EQ(b.bed.prompt.unansweredCount(), 0);

    // Out of range on 2.4 GHz, or not hexadecimal: nothing is written or asked.
    const auto burnt = b.chip().efuseBytes();
    b.bed.prompt.clear();
    EXPECT_EQ(b.tools.trims().storeTxPower(0, "40"), Outcome::Refused);
    EXPECT_EQ(b.tools.trims().storeTxPower(0, "FF"), Outcome::Refused);
    EXPECT_TRUE(b.bed.prompt.events().empty());
    EXPECT_EQ(b.tools.trims().storeTxPower(1, "1G"), Outcome::Refused);
    EXPECT_EQ(b.bed.prompt.messages().size(), 1u);
    EXPECT_EQ(b.chip().efuseBytes(), burnt);
    if (efuse) {
      // A declined question burns nothing.
      b.bed.prompt.answerOkCancel(false);
      EXPECT_EQ(b.tools.trims().storeFrequencyOffset("30"), Outcome::Cancelled);
      EXPECT_EQ(b.chip().efuseBytes(), burnt);
    }
  }
}

TEST(Trims, OffsetsAndSpins) {
  Rig b;
  b.activate();
  EepromTrims& trims = b.tools.trims();
  EXPECT_EQ(trims.storeFrequencyOffset("2A"), Outcome::Done);
  EXPECT_EQ(trims.storeRssiOffsets({"05", std::nullopt, "07"}), Outcome::Done);
  const auto eeprom = b.chip().eepromBytes();
  EXPECT_EQ(eeprom[0x3A], 0x2A);
  EXPECT_EQ(eeprom[0x3B], 0xFF);
  EXPECT_EQ(eeprom[0x46], 0x05);
  EXPECT_EQ(eeprom[0x47], 0x03);  // path 1 kept
  EXPECT_EQ(eeprom[0x48], 0x07);
  EXPECT_EQ(eeprom[0x49], 0x0D);
  EXPECT_EQ(trims.lastWrite(), "0x46, 0x48");

  // Spins: the power fields count down as the spin goes up.
  const struct {
    const char* field;
    int step;
    Outcome outcome;
    const char* after;
  } power[] = {{"3F", -1, Outcome::Refused, "3F"}, {"00", 1, Outcome::Refused, "00"}, {"10", 1, Outcome::Done, "0F"}};
  for (const auto& c : power) {
    std::string field = c.field;
    EXPECT_EQ(trims.spinTxPower(0, field, c.step), c.outcome) << c.field;
    EXPECT_EQ(field, c.after);
  }
  EXPECT_EQ(b.chip().peekRegister(0x13B0) & 0x3F, 0x0Fu);
  std::string offset = "FF";
  EXPECT_EQ(trims.spinFrequencyOffset(offset, 1), Outcome::Refused);
  offset = "24";
  EXPECT_EQ(trims.spinFrequencyOffset(offset, 1), Outcome::Done);
  EXPECT_EQ(offset, "25");
  EXPECT_EQ(b.chip().peekRf(0, 12), 0x25);
  std::string rssi = "00";
  EXPECT_EQ(EepromTrims::spinRssiOffset(rssi, 1), Outcome::Done);
  EXPECT_EQ(rssi, "FF");
}

TEST(IqCompensation, EnableWritesSignedSixBitValuesAndCalibrateWritesNoEeprom) {
  Rig b;
  IqCompensation& iq = b.tools.iq();
  const auto indirect = [&](std::uint8_t index) {
    b.tester.radio().registers().setBbp(158, index);
    return b.tester.radio().registers().bbp(159);
  };
  // The edges of a signed 6-bit field, in two's complement by hand:
  // 31 = 011111, -32 = 100000, -33 and 32 do not fit.
  const struct {
    const char* text;
    int written;  // -1: refused, the register keeps what it had
  } edges[] = {{"1F", 0x1F}, {"20", -1}, {"3F", -1}, {"40", -1}, {"C0", -1}, {"DF", -1},
               {"E0", 0x20}, {"E1", 0x21}, {"FF", 0x3F}, {"x", -1},  {"100", -1}};
  for (const auto& e : edges) {
    iq.fields = {"05", e.text, "00", "00"};
    ASSERT_EQ(iq.setEnabled(true), e.written < 0 ? Outcome::Refused : Outcome::Done) << e.text;
    if (e.written >= 0) {
      EXPECT_EQ(indirect(0x61), e.written) << e.text;
    }
  }
  // The last good value (FF) stays on the chip; a refusal names the field.
  EXPECT_EQ(indirect(0x61), 0x3F);
  EXPECT_NE(b.bed.prompt.events().back().text.find("Tx0 Phase: \"100\""), std::string::npos);

  iq.fields = {"FF", "05", "E1", "1F"};
  ASSERT_EQ(iq.setEnabled(true), Outcome::Done);
  EXPECT_EQ(indirect(0x60), 0x3F);
  EXPECT_EQ(indirect(0x61), 0x05);
  EXPECT_EQ(indirect(0x62), 0x21);
  EXPECT_EQ(indirect(0x63), 0x1F);

  // Spinning steps through zero into the negatives and stops at the edges.
  const struct {
    IqCompensation::Field field;
    int step;
    Outcome outcome;
    const char* after;
  } spins[] = {{IqCompensation::Tx0Phase, 1, Outcome::Done, "06"},
               {IqCompensation::Tx1Phase, 1, Outcome::Refused, "1F"},
               {IqCompensation::Tx0Gain, 1, Outcome::Done, "00"},
               {IqCompensation::Tx0Gain, -1, Outcome::Done, "FF"}};
  for (const auto& s : spins) {
    EXPECT_EQ(iq.spin(s.field, s.step), s.outcome) << s.after;
    EXPECT_EQ(iq.fields[s.field], s.after);
  }
  EXPECT_EQ(indirect(0x60), 0x3F);
  iq.fields[2] = "E0";
  EXPECT_EQ(iq.spin(IqCompensation::Tx1Gain, -1), Outcome::Refused);
  EXPECT_EQ(iq.spin(IqCompensation::Tx1Gain, 1), Outcome::Done);
  EXPECT_EQ(iq.fields[2], "E1");
  EXPECT_EQ(indirect(0x62), 0x21);

  iq.fields = {"FF", "06", "00", "00"};
  const auto eeprom = b.chip().eepromBytes();
  b.bed.prompt.answerOkCancel(true);
  EXPECT_EQ(iq.calibrate(), Outcome::Done);
  EXPECT_EQ(b.bed.prompt.events().back().text, "Tx0Gain = 0x3F,\nTx0Phase = 0x6\n\nWrite to EEPROM ?");
  EXPECT_EQ(b.chip().eepromBytes(), eeprom);
  ASSERT_EQ(iq.setEnabled(false), Outcome::Done);
  EXPECT_EQ(indirect(0x60), 0x00);
}

}  // namespace
}  // namespace kqa::txrx
