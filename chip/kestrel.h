#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "chip/bulk_endpoint.h"
#include "chip/bulk_engine.h"
#include "chip/chip_core.h"
#include "chip/chip_faults.h"
#include "chip/kestrel_options.h"
#include "chip/radio/air_ticker.h"
#include "chip/radio/radio_side.h"
#include "chip/state_file.h"
#include "platform/usb/device_model/usb_device_model.h"
#include "chip/usb_function.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The emulated Kestrel: a USB device that answers what the QA driver sends.
// chip/README.md describes its registers, memories and factory image.
//
//   VirtualClock clock;
//   Kestrel chip(clock, {.board = Board::Efuse, .completions = Completions::Stepped});
//   chip.faults().setBusyStuck(BusyUnit::Bbp, true);
//
// Thread safety: every public method may be called from any thread. Control
// transfers run on the caller's thread under the chip's one lock; bulk
// completions run on the chip's completion thread (or in runUntilIdle()).
class Kestrel final : public usb::UsbDeviceModel {
 public:
  // Loads the state file when it exists (throws ChipStateError when it cannot
  // be read, is malformed, or belongs to the other board); otherwise starts
  // from the options' or the factory's content and writes the file at once.
  Kestrel(Clock& clock, KestrelOptions options = {});
  // Completes every pending bulk transfer with NoDevice, then saves what has
  // not been saved yet.
  ~Kestrel() override;
  Kestrel(const Kestrel&) = delete;
  Kestrel& operator=(const Kestrel&) = delete;

  // usb::UsbDeviceModel.
  usb::TransferResult controlTransfer(const usb::SetupPacket& setup, std::span<std::uint8_t> data) override;
  TransferId submitBulk(std::uint8_t endpointAddress, std::span<std::uint8_t> buffer,
                        BulkCompletion completion) override;
  void cancelBulk(TransferId id) override;
  bool isAttached() const override { return attached_.load(); }
  void setAttachListener(std::function<void(bool attached)> listener) override;

  // Pulls the plug: the listener hears "detached", pending bulk transfers end
  // in NoDevice, control transfers answer NoDevice.
  void unplug();
  // Plugs it back in: a power cycle. Registers, BBP, RF and RAM return to
  // their power-on values, the USB identity is read again from the EEPROM,
  // the NVM keeps its content; the listener hears "attached".
  void replug();

  ChipFaults& faults() { return faults_; }

  // Brings the air up to the clock, then: stepped mode completes what can be
  // completed now, in this thread; threaded mode waits until the completion
  // thread is idle.
  void runUntilIdle();

  // Bulk extension points: what an endpoint does with its transfers, and the
  // wake-up for IN transfers waiting for data. By default the radio side
  // serves every endpoint (chip/README.md, "Transmit" and "Receive").
  void setBulkHandler(std::uint8_t endpointAddress, std::shared_ptr<BulkEndpointHandler> handler);
  std::shared_ptr<BulkEndpointHandler> bulkHandler(std::uint8_t endpointAddress) const;
  void wakeBulkIn(std::uint8_t endpointAddress) { bulk_.wake(endpointAddress); }

  // Runs `f(ChipCore&)` under the chip's lock: for installing register hooks
  // and for inspection. `f` must not call this Kestrel's other methods.
  template <class F>
  decltype(auto) withCore(F&& f) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(*core_);
  }

  // Runs `f(RadioSide&)` under the chip's lock, with the air brought up to
  // the clock: the environment, signal generator, MCU, counters and engines
  // (chip/radio/radio_side.h). `f` must not call this Kestrel's other methods.
  template <class F>
  decltype(auto) withRadio(F&& f) {
    std::lock_guard lock(mutex_);
    radio_->advance();
    return std::forward<F>(f)(*radio_);
  }

  // Inspection for tests of other layers.
  std::uint32_t identity() const { return core_->identity(); }
  // The value a read would give, without side effects.
  std::uint32_t peekRegister(std::uint16_t address, Space space = Space::Mac);
  // A write as the host would make it (hooks and all).
  void pokeRegister(std::uint16_t address, std::uint32_t value, Space space = Space::Mac);
  std::uint8_t peekBbp(std::uint8_t id);  // R66: the path R27 selects
  std::uint8_t peekBbpGain(int path);     // R66 of one receive path
  std::uint8_t peekRf(int bank, int reg);
  std::uint32_t lastRfSerialWord();
  Efuse::Content efuseBytes();
  std::vector<std::uint8_t> eepromBytes();
  std::vector<std::uint8_t> flashBytes(std::size_t address, std::size_t length);
  // The USB identity presented since the last power-up.
  UsbIdentity usbIdentity();

  // Writes the state file now (nothing without one). Throws ChipStateError.
  void saveState();
  // Returns once the state file holds every NVM change made before the call:
  // threaded mode waits for the background saver, stepped mode saves now.
  // Throws ChipStateError when that save fails.
  void waitUntilSaved();
  // The last background save failure, if the last save failed.
  std::optional<std::string> lastSaveError() const;

  const KestrelOptions& options() const { return options_; }

 private:
  NvmState initialState() const;
  void onNvmChange(ChipCore::Nvm nvm);
  // Writes the snapshot unless a newer one has been written; throws.
  void write(const NvmState& snapshot, std::uint64_t generation);
  void saverLoop();
  void notifyAttach(bool attached);
  void softReconnect();

  Clock& clock_;
  const KestrelOptions options_;
  ChipFaults faults_;
  BulkEngine bulk_;

  mutable std::mutex mutex_;  // the chip's lock: guards everything below
  std::unique_ptr<ChipCore> core_;
  std::unique_ptr<RadioSide> radio_;
  UsbFunction usb_{bulk_};
  std::atomic<bool> attached_{false};
  std::uint64_t changes_ = 0;  // NVM changes so far

  std::mutex listenerMutex_;
  std::function<void(bool)> attachListener_;

  // Persistence. Lock order: mutex_, then saveMutex_; never the reverse.
  mutable std::mutex saveMutex_;
  std::atomic<std::uint64_t> saved_{0};  // changes covered by the file (written under saveMutex_)
  std::uint64_t saveAttempts_ = 0;
  std::optional<std::string> saveError_;
  std::condition_variable savedCv_;
  std::mutex saverMutex_;
  std::condition_variable saverCv_;
  bool saveRequested_ = false;
  bool saverStopping_ = false;
  std::thread saver_;

  std::unique_ptr<AirTicker> ticker_;  // threaded mode; stopped first
};

}  // namespace kqa::chip
