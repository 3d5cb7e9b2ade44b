#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "chip/baseband/calibration_engines.h"
#include "chip/baseband/capture_engine.h"
#include "chip/baseband/data_scope.h"
#include "chip/baseband/bbp_tables.h"
#include "chip/baseband/predistortion.h"
#include "chip/baseband/sensors.h"
#include "chip/baseband/signal_view.h"
#include "chip/chip_core.h"
#include "chip/firmware/mcu.h"
#include "chip/kestrel_options.h"
#include "chip/radio/air.h"
#include "chip/radio/front_end.h"
#include "chip/radio/receiver.h"
#include "chip/radio/transmitter.h"

namespace kqa::chip {

// The Kestrel as a radio: the MCU and its firmware, transmit and receive
// over the bulk endpoints, the air around the chip, the receiver's counters
// and readings, and the baseband engines. It hooks itself into the ChipCore
// and, like the core, runs under the chip's lock.
//
// Time: what happens on the air is worked out as the chip's clock passes it.
// advance() brings everything up to the clock's now; the Kestrel calls it
// before every control transfer and every bulk transfer, in runUntilIdle(),
// and (threaded mode) from its air ticker, so a register read always sees
// the frames that ended before it.
class RadioSide final : public SignalView {
 public:
  static constexpr std::uint8_t kFirstIn = 0x81;
  static constexpr std::uint8_t kSecondIn = 0x82;

  // `wake(endpoint)` tells the bulk engine that an IN endpoint has data; it
  // is called under the chip's lock and must only take the bulk lock.
  RadioSide(ChipCore& core, const KestrelOptions& options, std::function<void(std::uint8_t endpoint)> wake);

  void advance();
  // When the next frame may reach the host (nothing while reception is off).
  std::optional<Clock::Duration> nextDelivery() const;
  // Called when reception is switched on (the air ticker listens).
  void setReceptionListener(std::function<void()> listener) { receptionListener_ = std::move(listener); }

  // Bulk transfers, from the endpoints' handlers.
  void receiveOut(std::uint8_t endpoint, std::span<const std::uint8_t> data);
  std::optional<std::vector<std::uint8_t>> nextIn(std::uint8_t endpoint, std::size_t capacity);

  // A power cycle: the MCU stops, engines, counters and FIFOs clear. The air
  // goes on.
  void powerOnReset();

  // SignalView.
  ChainInput chainInput() const override;
  Reception verdict(const AirFrame& frame) const override;

  // For tests and tools.
  ReceiverSettings receiverSettings() const;
  const FrontEnd& frontEnd() const { return frontEnd_; }
  Air& air() { return air_; }
  // The signal generator's burst, starting now (plus its start delay).
  void startGenerator(const GeneratorFrames& frames);
  Mcu& mcu() { return mcu_; }
  const Receiver& receiver() const { return receiver_; }
  const Transmitter& transmitter() const { return transmitter_; }
  std::uint64_t malformedTransfers() const { return malformedTransfers_; }
  Sensors& sensors() { return sensors_; }
  CaptureEngine& capture() { return capture_; }
  CalibrationEngines& calibration() { return calibration_; }
  Predistortion& predistortion() { return predistortion_; }
  BbpTables& bbpTables() { return bbpTables_; }
  DataScope& dataScope() { return dataScope_; }
  const RadioOptions& options() const { return options_; }

 private:
  static Environment EnvironmentOf(const RadioOptions& options);
  void installRegisters();
  void step(Clock::Duration until);
  void transmit(std::uint8_t endpoint, std::span<const std::uint8_t> body);
  void fileLoopback(std::vector<std::uint8_t> mpdu, const PhyRate& rate, double powerDbm);
  Receiver::Context receiveContext(const ReceiverSettings& settings, const AirFrame& frame) const;
  std::uint8_t wcidOf(std::span<const std::uint8_t> frame) const;
  MacAddress stationAddress() const;
  double noiseFloor(const ReceiverSettings& settings) const;
  std::uint8_t rssiRegister(int path);
  void wakeIfReady();

  ChipCore& core_;
  RadioOptions options_;
  FrontEnd frontEnd_;
  std::uint64_t seed_;
  std::function<void(std::uint8_t)> wake_;
  std::function<void()> receptionListener_;
  Clock::Duration powerOn_;
  Clock::Duration advancedTo_;

  Air air_;
  std::deque<AirFrame> onAir_;    // started, not ended; by end
  std::deque<AirFrame> history_;  // ended within the last kHistory; by end
  std::uint64_t loopbackFrames_ = 0;

  Mcu mcu_;
  std::deque<std::vector<std::uint8_t>> responses_;
  Receiver receiver_;
  Transmitter transmitter_;
  std::uint64_t malformedTransfers_ = 0;
  CalibrationEngines calibration_;
  Sensors sensors_;
  CaptureEngine capture_;
  Predistortion predistortion_;
  BbpTables bbpTables_;
  DataScope dataScope_;
};

}  // namespace kqa::chip
