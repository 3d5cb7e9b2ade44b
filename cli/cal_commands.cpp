// cal: the TX/RX bench's RF calibrations and trims, through its logic.
#include <array>
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/device/image_file.h"
#include "app/device/text_format.h"
#include "app/txrx/calibration/eeprom_trims.h"
#include "app/txrx/calibration/iq_compensation.h"
#include "app/txrx/calibration/rf_calibrations.h"
#include "app/txrx/firmware_loader.h"
#include "app/txrx/radio_control.h"
#include "cli/arguments.h"
#include "cli/command_line.h"
#include "cli/command_table.h"
#include "cli/fwcal_common.h"

namespace kqa::cli {
namespace {

using device::Format;
using page::Outcome;

struct CalArguments {
  std::string which;  // mismatch: rx or tx
  std::uint32_t path = 0;
  std::string value;
  bool store = false;
  bool correct = false;
  std::array<std::string, 4> iq{"00", "00", "00", "00"};
  bool disable = false;
};

// The radio as the chip has it now (channel, bandwidth, paths, whether the
// firmware runs), for the calibrations of one command.
struct CalBench {
  explicit CalBench(CommandRun& run)
      : receiving(ReceptionOn(run.device())),
        radio({run.device(), run.session().memoryMode}, run.session().channels, receiving, none),
        rf(radio),
        trims(radio) {
    radio.loadConfiguration();
    radio.adoptChipState();
    txrx::FirmwareLoader(run.device()).adoptRunningState();
  }
  bool receiving;
  txrx::BenchCalibrations none;
  txrx::RadioControl radio;
  txrx::RfCalibrations rf;
  txrx::EepromTrims trims;
};

int CalDcoc(CommandRun& run) {
  CalBench bench(run);
  const Outcome outcome = bench.rf.dcoc();
  if (outcome != Outcome::Done) return EndOutcome(run, outcome, "the DC-offset calibration failed");
  return run.done("DC-offset calibration done\n", {{"calibrated", true}});
}

int CalTemperature(CommandRun& run, const CalArguments& args) {
  CalBench bench(run);
  const auto t = bench.rf.temperatureDifference();
  if (!t) return run.fail("the temperature could not be read");
  if (args.correct) {
    const Outcome outcome = bench.rf.temperatureCorrection(*t);
    if (outcome != Outcome::Done) return EndOutcome(run, outcome, "the temperature correction failed");
  }
  return run.done(Format("%d steps from the reference (%.1f C)%s\n", *t, *t * 3.89, args.correct ? ", corrected" : ""),
                  {{"steps", *t}, {"celsius", *t * 3.89}, {"corrected", args.correct}});
}

int CalTssi(CommandRun& run) {
  CalBench bench(run);
  const Outcome outcome = bench.rf.measureTssi();
  if (outcome != Outcome::Done) return EndOutcome(run, outcome, "the TSSI measurement failed");
  const txrx::TssiMeasurement& m = bench.rf.lastTssi();
  const int alc = m.alc >= 32 ? m.alc - 64 : m.alc;
  return run.done(
      Format("TX0 base %u, reading %u: D(x) = %d\nhigh sensitivity base %u, reading %u: D(x) = %d\n"
             "difference %d, level control step %d (MAC 0x13B4 bits 0-5 = %02X)\n",
             m.base0, m.reading0, m.d0, m.base1, m.reading1, m.d1, m.difference, alc, m.alc),
      {{"base0", m.base0}, {"reading0", m.reading0}, {"d0", m.d0}, {"base1", m.base1}, {"reading1", m.reading1},
       {"d1", m.d1}, {"difference", m.difference}, {"tx1Base", m.tx1Base}, {"tx1Reading", m.tx1Reading},
       {"levelStep", alc}});
}

int CalMismatch(CommandRun& run, const CalArguments& args) {
  CalBench bench(run);
  const bool transmit = args.which == "tx";
  const Outcome outcome = transmit ? bench.rf.txMismatch() : bench.rf.rxMismatch();
  if (outcome != Outcome::Done) return EndOutcome(run, outcome, "the mismatch calibration failed");
  const std::uint8_t r = bench.rf.lastMismatch();
  return run.done(Format("%s mismatch verdict %02X%s\n", transmit ? "TX" : "RX", r, r == 0x1C ? " (good)" : ""),
                  {{"path", args.which}, {"verdict", r}, {"gainTooLow", (r & 1) != 0},
                   {"residualDcTooHigh", (r & 2) != 0}});
}

// After a stored value: in buffer mode the image lives in this process only,
// so it goes back to its file, as "nvm write" does.
int FinishStore(CommandRun& run, Outcome outcome, txrx::EepromTrims& trims, const std::string& what, Json json) {
  if (outcome == Outcome::Refused)
    return run.usage(what + " is out of range for the band and was not stored");
  if (outcome != Outcome::Done) return EndOutcome(run, outcome, what + " was not stored");
  const device::ConfigMemoryMode& mode = run.session().memoryMode;
  const device::ConfigMemoryBackEnd backEnd = device::ActiveBackEnd(mode);
  if (backEnd == device::ConfigMemoryBackEnd::Buffer && !trims.lastWrite().empty()) {
    std::string problem;
    if (!device::SaveEepromImageFile(mode, run.options().eepromFile, &problem))
      return run.fail("the image was written in memory but not saved: " + problem);
  }
  const std::string_view name = device::BackEndName(backEnd);
  json["stored"] = trims.lastWrite();
  json["backEnd"] = name;
  return run.done(trims.lastWrite().empty()
                      ? Format("%s already stored (%.*s)\n", what.c_str(), static_cast<int>(name.size()), name.data())
                      : Format("%s stored in word %s (%.*s)\n", what.c_str(), trims.lastWrite().c_str(),
                               static_cast<int>(name.size()), name.data()),
                  json);
}

int CalTxPower(CommandRun& run, const CalArguments& args) {
  CalBench bench(run);
  const int path = static_cast<int>(args.path);
  Outcome outcome = bench.trims.applyTxPower(path, args.value);
  if (outcome != Outcome::Done) return EndOutcome(run, outcome, "the TX power was not set");
  const std::string what = Format("TX%d power %s on channel %d", path, args.value.c_str(), bench.radio.channelNumber());
  Json json{{"path", path}, {"value", args.value}, {"channel", bench.radio.channelNumber()},
            {"address", bench.trims.txPowerAddress(path)}};
  if (args.store) return FinishStore(run, bench.trims.storeTxPower(path, args.value), bench.trims, what, json);
  // No register holds TX1's power: set without --store, it is gone with this command.
  if (path == 0) return run.done(what + " set\n", json);
  json["keptByChip"] = false;
  return run.done(what + " set (kept by the program, not by the chip)\n", json);
}

int CalFrequency(CommandRun& run, const CalArguments& args) {
  CalBench bench(run);
  const Outcome outcome = bench.trims.applyFrequencyOffset(args.value);
  if (outcome != Outcome::Done) return EndOutcome(run, outcome, "the frequency offset was not set");
  const std::string what = "frequency offset " + args.value;
  Json json{{"value", args.value}};
  if (!args.store) return run.done(what + " set (RF bank 0 R12)\n", json);
  return FinishStore(run, bench.trims.storeFrequencyOffset(args.value), bench.trims, what, json);
}

int CalRssiOffset(CommandRun& run, const CalArguments& args) {
  CalBench bench(run);
  std::array<std::optional<std::string>, 3> texts;
  texts[args.path] = args.value;
  const std::string what = Format("RSSI offset %s of path %u", args.value.c_str(), args.path);
  Json json{{"path", args.path}, {"value", args.value}, {"fiveGhz", bench.radio.fiveGhz()}};
  if (!args.store) return run.done(what + ": nothing stored without --store\n", json);
  return FinishStore(run, bench.trims.storeRssiOffsets(texts), bench.trims, what, json);
}

int CalIq(CommandRun& run, const CalArguments& args) {
  CalBench bench(run);
  txrx::IqCompensation iq(bench.radio.registers());
  iq.fields = args.iq;
  const Outcome outcome = iq.setEnabled(!args.disable);
  if (outcome != Outcome::Done) return EndOutcome(run, outcome, "the IQ compensation was not written");
  std::array<std::uint8_t, 4> v{};
  iq.values(v);
  if (args.disable) return run.done("IQ compensation off\n", {{"enabled", false}});
  return run.done(Format("Tx0 gain %02X phase %02X, Tx1 gain %02X phase %02X\n", v[0], v[1], v[2], v[3]),
                  {{"enabled", true}, {"tx0Gain", v[0]}, {"tx0Phase", v[1]}, {"tx1Gain", v[2]}, {"tx1Phase", v[3]}});
}

}  // namespace

void AddCalibrationCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<CalArguments>();
  CLI::App& cal = CommandTable::Group(program, "cal", "RF calibrations and trims of the TX/RX bench");

  table.add(cal, "dcoc", "DC-offset calibration (up to 3 s)", CalDcoc);
  CLI::App& temp = table.add(cal, "temp", "the die temperature against the EEPROM's reference",
                             [args](CommandRun& run) { return CalTemperature(run, *args); });
  temp.add_flag("--correct", args->correct, "apply the temperature correction (BBP R75, R92, DCOC)");
  table.add(cal, "tssi", "the TSSI measurement: readings, D(x) and the level it sets in MAC 0x13B4", CalTssi);
  CLI::App& mismatch = table.add(cal, "mismatch", "the RF RX or TX mismatch calibration",
                                 [args](CommandRun& run) { return CalMismatch(run, *args); });
  mismatch.add_option("PATH", args->which, "rx or tx")->required()->check(OneOf({"rx", "tx"}));

  const auto storeFlag = [args](CLI::App& command) {
    command.add_flag("--store", args->store,
                     "write it to the configuration memory (eFuse: asked on a terminal, or --yes)");
  };
  CLI::App& power = table.add(cal, "txpower", "sets (and with --store stores) the channel's TX power code",
                              [args](CommandRun& run) { return CalTxPower(run, *args); });
  power.add_option("PATH", args->path, "0 or 1")->required()->type_name("N")->transform(DecimalNumber(1));
  power.add_option("VALUE", args->value, "the power code, 00 to 3F")->required()->type_name("HEX")->check(HexBytes());
  storeFlag(power);
  CLI::App& freq = table.add(cal, "freq", "sets (and with --store stores) the crystal's frequency offset",
                             [args](CommandRun& run) { return CalFrequency(run, *args); });
  freq.add_option("VALUE", args->value, "00 to FF")->required()->type_name("HEX")->check(HexBytes());
  storeFlag(freq);
  CLI::App& rssi = table.add(cal, "rssi-offset", "stores a receive path's RSSI offset for the current band",
                             [args](CommandRun& run) { return CalRssiOffset(run, *args); });
  rssi.add_option("PATH", args->path, "0, 1 or 2")->required()->type_name("N")->transform(DecimalNumber(2));
  rssi.add_option("VALUE", args->value, "00 to FF")->required()->type_name("HEX")->check(HexBytes());
  storeFlag(rssi);

  CLI::App& iq = table.add(cal, "iq", "the transmitters' IQ compensation (signed 6-bit values: 00-1F are 0 to 31, E0-FF are -32 to -1)",
                           [args](CommandRun& run) { return CalIq(run, *args); });
  const std::array<const char*, 4> names = {"--gain0", "--phase0", "--gain1", "--phase1"};
  for (std::size_t n = 0; n < names.size(); ++n)
    iq.add_option(names[n], args->iq[n], "00-1F or E0-FF, default 00")->type_name("HEX")->check(HexBytes());
  iq.add_flag("--disable", args->disable, "switch the compensation off (zeros)");
}

}  // namespace kqa::cli
