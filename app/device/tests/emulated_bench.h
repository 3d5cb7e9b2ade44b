#pragma once

#include <memory>
#include <vector>

#include "chip/bulk_endpoint.h"
#include "chip/kestrel.h"
#include "driver/host/driver_host.h"
#include "platform/clock/virtual_clock.h"
#include "platform/usb/emulated/emulated_backend.h"

namespace kqa::device::testing {

// The device layer's world in one process: the emulated Kestrel behind the
// emulated USB stack and the driver hosted in-process, all on virtual time.
//
// clock() is the one to give the device layer: each of its sleeps first
// lets the chip finish what it was doing (its completion thread runs
// until idle), so a polling loop sees the chip react as it would in the
// real time it waits, and stays deterministic.
class EmulatedBench {
 public:
  explicit EmulatedBench(chip::KestrelOptions options = {});
  ~EmulatedBench();

  chip::Kestrel& chip() { return *chip_; }
  ioctl::DeviceInterfaceProvider& provider() { return *host_; }
  Clock& clock() { return settling_; }
  VirtualClock& virtualClock() { return virtualClock_; }

  // Pulls the plug or plugs it back in, and waits until the driver's host
  // has seen it.
  void unplug();
  void replug();

  // Stands in for the MCU firmware: every command packet on OUT pipe 1 is
  // answered on IN pipe 0 with a response carrying its sequence number.
  // Returns the sequence numbers of the commands received, in order.
  const std::vector<int>& answerFirmwareCommands();

 private:
  class SettlingClock final : public Clock {
   public:
    explicit SettlingClock(EmulatedBench& bench) : bench_(bench) {}
    Duration now() const override { return bench_.virtualClock_.now(); }
    void sleep(Duration duration) override {
      bench_.chip_->runUntilIdle();
      bench_.virtualClock_.sleep(duration);
    }

   private:
    EmulatedBench& bench_;
  };
  class EchoFirmware;

  VirtualClock virtualClock_;
  std::unique_ptr<chip::Kestrel> chip_;
  std::unique_ptr<usb::EmulatedUsbBackend> backend_;
  std::unique_ptr<driver::DriverHost> host_;
  SettlingClock settling_{*this};
  std::shared_ptr<EchoFirmware> firmware_;
};

}  // namespace kqa::device::testing
