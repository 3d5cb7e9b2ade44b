// kestrelqa-cli's fw and cal commands through the in-process driver against
// the emulated Kestrel.
#include <gtest/gtest.h>

#include "app/device/tests/emulated_rig.h"
#include "chip/radio/radio_side.h"
#include "cli/tests/cli_harness.h"

namespace kqa::cli {
namespace {

using device::testing::EmulatedRig;
using testing::CliRun;

CliRun RunOn(EmulatedRig& bench, std::vector<std::string> arguments, const std::string& terminal = {},
             bool interactive = false) {
  arguments.insert(arguments.begin(), {"--eeprom-file", "/nonexistent/eeprom.bin"});
  return testing::RunCli(bench.provider(), bench.clock(), std::move(arguments), terminal, interactive);
}

TEST(CliFirmware, LoadStatusFunctionAndCommand) {
  EmulatedRig bench;
  const CliRun before = RunOn(bench, {"fw", "status"});
  EXPECT_EQ(before.exitCode, kExitOk) << before.err;
  EXPECT_NE(before.out.find("not ready"), std::string::npos) << before.out;
  const CliRun early = RunOn(bench, {"fw", "func", "5", "1234"});
  EXPECT_EQ(early.exitCode, kExitFailed);
  EXPECT_NE(early.err.find("only while it runs"), std::string::npos) << early.err;

  // Without FILE: the working directory has none, so the build's image.
  const CliRun load = RunOn(bench, {"fw", "load"});
  ASSERT_EQ(load.exitCode, kExitOk) << load.err;
  EXPECT_EQ(load.out, std::string("Loaded ") + KQA_KESTREL_FIRMWARE + ": the MCU runs it\n");
  EXPECT_NE(RunOn(bench, {"fw", "status", "--json"}).out.find("\"ready\":true"), std::string::npos);

  EXPECT_EQ(RunOn(bench, {"fw", "func", "5", "1234"}).exitCode, kExitOk);
  EXPECT_EQ(bench.chip().withRadio([](chip::RadioSide& r) { return r.mcu().functionParameter(5); }), 0x1234u);
  // Command 31 (function 8, parameter 0x5678): the answer's header (sequence
  // 1 of this process, 12 bytes), status 0, then what the firmware ran.
  const CliRun cmd = RunOn(bench, {"fw", "cmd", "31", "0800000078560000", "--json"});
  EXPECT_EQ(cmd.exitCode, kExitOk) << cmd.err;
  EXPECT_NE(cmd.out.find("\"response\":\"0C00F141000000000800000078560000\""), std::string::npos) << cmd.out;
  EXPECT_EQ(bench.chip().peekRegister(0x1004) & 0x8, 0u);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"fw", "cmd", "128"}, {"fw", "cmd", "1", "0G"}, {"fw", "load", "--headerless"},
        {"fw", "func", "x", "1"}, {"fw", "load", "/nonexistent/Kestrel.bin"}})
    EXPECT_EQ(RunOn(bench, bad).exitCode, kExitUsage) << bad.back();
}

TEST(CliCalibration, MeasurementsAndVerdicts) {
  EmulatedRig bench;
  EXPECT_EQ(RunOn(bench, {"cal", "dcoc"}).out, "DC-offset calibration done\n");
  EXPECT_EQ(RunOn(bench, {"cal", "temp"}).out, "0 steps from the reference (0.0 C)\n");
  const CliRun mismatch = RunOn(bench, {"cal", "mismatch", "rx", "--json"});
  EXPECT_NE(mismatch.out.find("\"verdict\":28"), std::string::npos) << mismatch.out << mismatch.err;
  const CliRun tssi = RunOn(bench, {"cal", "tssi", "--json"});
  EXPECT_EQ(tssi.exitCode, kExitOk) << tssi.err;
  EXPECT_NE(tssi.out.find("\"base0\":24"), std::string::npos) << tssi.out;
  EXPECT_EQ(RunOn(bench, {"cal", "mismatch", "up"}).exitCode, kExitUsage);

  bench.chip().faults().setBusyStuck(chip::BusyUnit::DcOffset, true);
  const CliRun stuck = RunOn(bench, {"cal", "dcoc"});
  EXPECT_EQ(stuck.exitCode, kExitFailed);
  EXPECT_NE(stuck.err.find("DCOC Calibration Fail !"), std::string::npos) << stuck.err;
}

TEST(CliCalibration, StoredTrimsFollowTheEfuseQuestionRules) {
  EmulatedRig eeprom;
  EXPECT_EQ(RunOn(eeprom, {"cal", "txpower", "0", "12", "--store"}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(eeprom, {"cal", "freq", "2A", "--store"}).exitCode, kExitOk);
  EXPECT_EQ(RunOn(eeprom, {"cal", "rssi-offset", "1", "05", "--store"}).exitCode, kExitOk);
  const auto bytes = eeprom.chip().eepromBytes();
  EXPECT_EQ(bytes[0x52], 0x12);
  EXPECT_EQ(bytes[0x3A], 0x2A);
  EXPECT_EQ(bytes[0x47], 0x05);
  EXPECT_EQ(eeprom.chip().peekRf(0, 12), 0x2A);
  EXPECT_EQ(RunOn(eeprom, {"cal", "txpower", "0", "40"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(eeprom, {"cal", "txpower", "2", "10"}).exitCode, kExitUsage);
  EXPECT_EQ(RunOn(eeprom, {"cal", "iq", "--gain0", "FF"}).out, "Tx0 gain 3F phase 00, Tx1 gain 00 phase 00\n");
  // 20 would land on -32 (as E0 does): refused, naming the field, nothing written.
  const CliRun wide = RunOn(eeprom, {"cal", "iq", "--gain0", "01", "--phase1", "20"});
  EXPECT_EQ(wide.exitCode, kExitUsage);
  EXPECT_NE(wide.err.find("Tx1 Phase: \"20\""), std::string::npos) << wide.err;
  EXPECT_NE(RunOn(eeprom, {"cal", "iq", "--phase0", "E0", "--json"}).out.find("\"tx0Phase\":32"),
            std::string::npos);

  EmulatedRig efuse({.board = chip::Board::Efuse});
  const auto burnt = efuse.chip().efuseBytes();
  const CliRun refused = RunOn(efuse, {"cal", "txpower", "0", "12", "--store"});
  EXPECT_EQ(refused.exitCode, kExitFailed);
  EXPECT_NE(refused.err.find("are you sure to write?"), std::string::npos) << refused.err;
  EXPECT_EQ(efuse.chip().efuseBytes(), burnt);
  const CliRun stored = RunOn(efuse, {"cal", "txpower", "0", "12", "--store", "--yes"});
  EXPECT_EQ(stored.exitCode, kExitOk) << stored.err;
  EXPECT_EQ(stored.out, "TX0 power 12 on channel 1 stored in word 0x52 (eFuse)\n");
  EXPECT_NE(efuse.chip().efuseBytes(), burnt);
  EXPECT_EQ(RunOn(efuse, {"nvm", "read", "52", "1"}).out, "052: 12\n");
}

}  // namespace
}  // namespace kqa::cli
