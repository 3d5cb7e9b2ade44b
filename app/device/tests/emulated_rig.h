#pragma once

#include <memory>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/device/startup.h"
#include "chip/kestrel.h"
#include "driver/host/driver_host.h"
#include "platform/clock/virtual_clock.h"
#include "platform/prompt/scripted_prompt.h"
#include "platform/usb/emulated/emulated_backend.h"

namespace kqa::device::testing {

// The device layer's world in one process: the emulated Kestrel behind the
// emulated USB stack and the driver hosted in-process, all on virtual time.
//
// clock() is the one to give the device layer: each of its sleeps first
// lets the chip finish what it was doing (its completion thread runs
// until idle), so a polling loop sees the chip react as it would in the
// real time it waits, and stays deterministic.
class EmulatedRig {
 public:
  explicit EmulatedRig(chip::KestrelOptions options = {});

  chip::Kestrel& chip() { return *chip_; }
  ioctl::DeviceInterfaceProvider& provider() { return *host_; }
  Clock& clock() { return settling_; }

  // Pulls the plug or plugs it back in, and waits until the driver's host
  // has seen it.
  void unplug();
  void replug();

  // Loads the chip's own firmware into its MCU and starts it, as the TX/RX
  // page's download would; true when it runs. It then answers firmware
  // commands.
  bool startFirmware();

 private:
  class SettlingClock final : public Clock {
   public:
    explicit SettlingClock(EmulatedRig& bench) : bench_(bench) {}
    Duration now() const override { return bench_.virtualClock_.now(); }
    void sleep(Duration duration) override {
      bench_.chip_->runUntilIdle();
      bench_.virtualClock_.sleep(duration);
    }

   private:
    EmulatedRig& bench_;
  };

  VirtualClock virtualClock_;
  // Destroyed in reverse: the driver's host, the back end, then the chip.
  std::unique_ptr<chip::Kestrel> chip_;
  std::unique_ptr<usb::EmulatedUsbBackend> backend_;
  std::unique_ptr<driver::DriverHost> host_;
  SettlingClock settling_{*this};
};

// A context on the bench after the program's start-up without an image file.
struct RigBed {
  explicit RigBed(chip::KestrelOptions options = {}) : bench(std::move(options)) {
    device.trace = nullptr;
    StartupOptions startup;
    startup.eepromFile = "/nonexistent/eeprom.bin";
    report = RunDeviceStartup(device, memoryMode, channels, startup);
  }

  ConfigMemory configMemory() { return {device, memoryMode}; }

  EmulatedRig bench;
  ScriptedPrompt prompt;
  DeviceContext device{bench.provider(), prompt, bench.clock()};
  ConfigMemoryMode memoryMode;
  ChannelState channels;
  StartupReport report;
};

}  // namespace kqa::device::testing
